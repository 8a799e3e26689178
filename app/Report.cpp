// The command-line report: the shortcut list of folders and files, as text, CSV or
// JSON, without a window. It creates no application object and reads nothing but the
// paths it is given; only --test builds the drive map and the Windows environment,
// which may read a Wine prefix.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/Entry.h"
#include "app/Usage.h"
#include "platform/util/Text.h"
#include "shortcuts/ColumnTexts.h"
#include "shortcuts/FolderContents.h"
#include "shortcuts/ItemProp.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitTestFailed = 1;
constexpr int kExitError = 2;

enum class ReportFormat { Text, Csv, Json };

struct ReportOptions {
    bool test = false;
    bool recursive = false;
    ReportFormat format = ReportFormat::Text;
    std::string columns{kAllColumns};
    std::vector<std::string> paths;
};

enum class TestState { NotTested, Failed, Passed, Internet };

// The rows of one PATH argument: a folder's rows, or a file's one row. A recursive
// report has a block per folder it lists, holding the folder's shortcut rows.
struct ReportBlock {
    std::string source;       // the PATH as given, or the folder listed in a recursive report
    std::string folder;       // source with a trailing "/" when it is a folder, else empty
    std::string holder;       // the folder holding the rows, for a recursive report's last column
    std::vector<TShortcutListItem> items;
    std::vector<TestState> tests; // one per item
    std::string Path(std::size_t row) const { return folder.empty() ? source : folder + items[row].Name; }
};

// ---------------------------------------------------------------------------------
// Text helpers. Names are bytes and need not be UTF-8; the output keeps them as they
// are wherever the format can carry bytes.

// Terminal columns a code point takes: 0 for combining marks and zero-width
// characters, 2 for East Asian wide and full-width characters and emoji, else 1.
int CodePointWidth(char32_t c)
{
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
        (c >= 0x200B && c <= 0x200F) || (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) ||
        (c >= 0xFE20 && c <= 0xFE2F) || c == 0xFEFF)
        return 0;
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
        (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD))
        return 2;
    return 1;
}

bool IsControl(char ch)
{
    const auto b = static_cast<unsigned char>(ch);
    return b < 0x20 || b == 0x7F;
}

// For the text table: control characters would break the table or reach the terminal
// as commands, so each shows as "?"; every other byte stays as it is. That includes
// the C1 controls U+0080..U+009F written as UTF-8 (a terminal reads U+009B as CSI and
// U+009D as OSC), which Windows text brings in easily: code page 1252 decodes its five
// undefined bytes to them.
void AppendTerminalSafe(std::string& out, std::string_view s)
{
    out.reserve(out.size() + s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsControl(s[i])) {
            out += '?';
        } else if (static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size() &&
                   static_cast<unsigned char>(s[i + 1]) >= 0x80 && static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
        } else {
            out += s[i];
        }
    }
}

std::string TerminalSafe(std::string_view s)
{
    std::string out;
    AppendTerminalSafe(out, s);
    return out;
}

// The length of the invalid sequence at s[i] as terminals (and Python's "replace")
// show it: one replacement mark per maximal subpart, the longest start of a valid
// sequence, or the one byte that starts none. "\xE4\xB8" cut short is one mark, not two.
std::size_t InvalidSequenceLength(std::string_view s, std::size_t i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            low = 0xA0;
        else if (b0 == 0xED)
            high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            low = 0x90;
        else if (b0 == 0xF4)
            high = 0x8F;
    } else {
        return 1;
    }
    std::size_t k = 1;
    for (; k < len && i + k < s.size(); ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            break;
    }
    return k;
}

int DisplayWidth(std::string_view s)
{
    if (std::all_of(s.begin(), s.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
        return static_cast<int>(s.size());
    int width = 0;
    for (std::size_t i = 0; i < s.size();) {
        char32_t c;
        const std::size_t len = platform::DecodeUtf8(s, i, c);
        if (len == 0) {
            ++width; // one replacement mark
            i += InvalidSequenceLength(s, i);
        } else {
            width += CodePointWidth(c);
            i += len;
        }
    }
    return width;
}

void AppendJsonString(std::string& out, std::string_view s)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        char32_t c;
        const std::size_t len = platform::DecodeUtf8(s, i, c);
        if (len == 0) {
            // A byte that is not UTF-8: the lone low surrogate U+DC00 + byte, which
            // no UTF-8 text can hold, so a reader gets the exact bytes back.
            const auto b = static_cast<unsigned char>(s[i]);
            out += "\\udc";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            ++i;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // DEL and the C1 controls too: a terminal showing the JSON obeys them.
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            } else {
                out.append(s.substr(i, len));
            }
        }
        i += len;
    }
    out += '"';
}

// A CSV file is read by terminals and spreadsheets: control characters show as in
// the text table, and a cell that a spreadsheet would take as a formula (a name or
// an argument like "=HYPERLINK(...)") gets a leading "'", the usual guard.
void AppendCsvField(std::string& out, std::string_view s)
{
    const bool formula = !s.empty() && (s.front() == '=' || s.front() == '+' || s.front() == '-' || s.front() == '@');
    const bool plain = !formula && std::none_of(s.begin(), s.end(), [](char ch) {
        return IsControl(ch) || static_cast<unsigned char>(ch) == 0xC2 || ch == ',' || ch == '"';
    });
    if (plain) {
        out += s;
        return;
    }
    std::string cell;
    if (formula)
        cell = '\'';
    AppendTerminalSafe(cell, s);
    if (cell.find_first_of(",\"") == std::string::npos) {
        out += cell;
        return;
    }
    out += '"';
    for (const char ch : cell) {
        if (ch == '"')
            out += '"';
        out += ch;
    }
    out += '"';
}

// ---------------------------------------------------------------------------------

std::string_view TestText(TestState state)
{
    switch (state) {
    case TestState::Failed: return "failed";
    case TestState::Passed: return "passed";
    case TestState::Internet: return "internet";
    case TestState::NotTested: break;
    }
    return "not tested";
}

// The test column of the text and CSV tables: folders are never tested and show
// nothing there, as the list shows them without a mark.
std::string_view TestColumnText(const TShortcutListItem& item, TestState state)
{
    return item.IsFolder ? std::string_view() : TestText(state);
}

constexpr std::string_view kTestCaption = "Test";
constexpr std::string_view kSourceCaption = "Source";
constexpr std::string_view kFolderCaption = "Folder";

std::string WithSlash(const std::string& path) { return !path.empty() && path.back() == '/' ? path : path + "/"; }

// The folder that holds a file PATH, so that it joined with "/" and the row's name
// gives the PATH again.
std::string FolderOfFile(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class Report {
public:
    explicit Report(ReportOptions options) : options_(std::move(options)) {}

    int Run();

private:
    void Error(const std::string& message) { std::fprintf(stderr, "quillmere: %s\n", message.c_str()); }
    bool AddPath(const std::string& path);
    bool AddTree(const std::string& path, const struct stat& top);
    void AddBlock(ReportBlock block);
    void Test(ReportBlock& block);
    void WriteJson(std::string& out) const;
    void WriteCsv(std::string& out) const;
    void WriteText(std::string& out) const;
    std::vector<std::string_view> HeaderCells() const;
    // The text of column i of a row (the chosen columns, the test column, then the
    // folder column of a recursive report).
    std::string_view Cell(const ReportBlock& block, std::size_t row, std::size_t column, std::string& scratch) const
    {
        if (column < options_.columns.size())
            return ShortcutColumnView(block.items[row], options_.columns[column], scratch);
        if (options_.test && column == options_.columns.size())
            return TestColumnText(block.items[row], block.tests[row]);
        return block.holder;
    }
    std::size_t ColumnCount() const
    {
        return options_.columns.size() + (options_.test ? 1 : 0) + (options_.recursive ? 1 : 0);
    }

    ReportOptions options_;
    std::vector<ReportBlock> blocks_;
    bool anyFailed_ = false;
};

bool Report::AddPath(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        // A symbolic link that leads nowhere is still a file in the folder: a row.
        if (::lstat(path.c_str(), &st) != 0) {
            Error(TerminalSafe(path) + ": " + std::strerror(err));
            return false;
        }
    }
    if (options_.recursive && S_ISDIR(st.st_mode))
        return AddTree(path, st);
    ReportBlock block;
    block.source = path;
    if (S_ISDIR(st.st_mode)) {
        TFolderContents contents;
        if (!ReadFolderContents(path, contents)) {
            Error("cannot list " + TerminalSafe(path) + ": " + std::strerror(contents.Error));
            return false;
        }
        block.folder = !path.empty() && path.back() == '/' ? path : path + "/";
        block.items = std::move(contents.Items);
    } else {
        block.items.push_back(ReadShortcutItem(path));
        if (options_.recursive)
            block.holder = FolderOfFile(path);
    }
    AddBlock(std::move(block));
    return true;
}

void Report::AddBlock(ReportBlock block)
{
    block.tests.assign(block.items.size(), TestState::NotTested);
    if (options_.test)
        Test(block);
    blocks_.push_back(std::move(block));
}

// The real path of a folder, symbolic links resolved; empty when it has none.
std::string RealPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string out(real);
    std::free(real);
    return out;
}

std::vector<std::string_view> Components(std::string_view path)
{
    std::vector<std::string_view> out;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Where a symbolic link found by the walk leads, against the real path of the walk's
// start: into a dot-folder (past the folders the two share), or inside the start.
struct LinkPlace {
    bool intoDotFolder = false;
    bool insideStart = false;
};

LinkPlace PlaceOf(std::string_view realTarget, std::string_view realStart)
{
    const auto target = Components(realTarget), start = Components(realStart);
    std::size_t shared = 0;
    while (shared < target.size() && shared < start.size() && target[shared] == start[shared])
        ++shared;
    LinkPlace place;
    place.insideStart = shared == start.size() && target.size() > start.size();
    for (std::size_t i = shared; i < target.size(); ++i)
        place.intoDotFolder = place.intoDotFolder || target[i].front() == '.';
    return place;
}

// The start of a walk and every folder above it, by device and inode: a link to one
// of them would walk the start again, or the whole disk.
std::set<std::pair<dev_t, ino_t>> FoldersHolding(std::string realStart)
{
    std::set<std::pair<dev_t, ino_t>> out;
    for (;;) {
        struct stat st;
        if (::stat(realStart.empty() ? "/" : realStart.c_str(), &st) == 0)
            out.emplace(st.st_dev, st.st_ino);
        const std::size_t slash = realStart.rfind('/');
        if (slash == std::string::npos)
            break;
        realStart.resize(slash);
    }
    return out;
}

// The shortcut rows of a folder and of every folder below it, folder by folder: a
// folder's own rows, then each subfolder's in the list's order, depth first. Each
// real folder is listed once, and the walk stays on the file system of the PATH (a
// mount below it is not entered). Symbolic links to folders are followed, as a Wine
// prefix makes the user's Desktop and Documents links to folders of the home, except
// the links of a "dosdevices" folder (the prefix's drives: C: is walked where it lies,
// Z: is the whole disk), links into dot-folders, and links to a folder that holds the
// start, lies on another file system or is listed already (or will be, inside the
// start): these are named on stderr. A folder that cannot be listed is named on stderr
// and the walk goes on.
bool Report::AddTree(const std::string& path, const struct stat& top)
{
    bool ok = true;
    std::set<std::pair<dev_t, ino_t>> seen{{top.st_dev, top.st_ino}};
    const std::string realStart = RealPath(path);
    const auto holding = FoldersHolding(realStart);
    std::vector<std::string> pending{path};
    TFolderContents contents;
    // Why a link to a folder is not followed; empty when it is, or when it goes
    // unsaid.
    const auto notFollowed = [&](const std::string& link, bool& follow) -> std::string_view {
        follow = false;
        struct stat st;
        const std::string real = RealPath(link);
        if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return {}; // gone since the folder was read
        const LinkPlace place = PlaceOf(real, realStart);
        if (place.intoDotFolder)
            return {};
        if (holding.count({st.st_dev, st.st_ino}))
            return "it leads to a folder holding the walk's start";
        if (st.st_dev != top.st_dev)
            return "it leads to another file system";
        if (place.insideStart || !seen.emplace(st.st_dev, st.st_ino).second)
            return "it leads to a folder listed already";
        follow = true;
        return {};
    };
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        if (!ReadFolderContents(folder, contents)) {
            Error("cannot list " + TerminalSafe(folder) + ": " + std::strerror(contents.Error));
            ok = false;
            continue;
        }
        const std::string base = WithSlash(folder);
        const auto names = Components(base);
        const bool drives = !names.empty() && names.back() == "dosdevices";
        const auto firstShortcut = contents.Items.begin() + contents.FolderCount;
        const std::size_t below = pending.size();
        for (auto it = contents.Items.begin(); it != firstShortcut; ++it) {
            std::string sub = base + it->Name;
            struct stat st;
            bool follow = false;
            if (::lstat(sub.c_str(), &st) != 0) {
                Error("cannot list " + TerminalSafe(sub) + ": " + std::strerror(errno));
                ok = false;
            } else if (S_ISDIR(st.st_mode)) {
                if (st.st_dev == top.st_dev && seen.emplace(st.st_dev, st.st_ino).second)
                    pending.push_back(std::move(sub));
            } else if (S_ISLNK(st.st_mode) && !drives) {
                if (const std::string_view why = notFollowed(sub, follow); !why.empty())
                    Error("not following " + TerminalSafe(sub) + ": " + std::string(why));
                else if (follow)
                    pending.push_back(std::move(sub));
            }
        }
        // Taken from the back: the first subfolder is listed next.
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(below), pending.end());
        if (firstShortcut == contents.Items.end())
            continue;
        ReportBlock block;
        block.source = folder;
        block.folder = base;
        block.holder = folder;
        block.items.assign(std::make_move_iterator(firstShortcut), std::make_move_iterator(contents.Items.end()));
        AddBlock(std::move(block));
    }
    return ok;
}

// As the list's Test command: Internet shortcuts are marked, not tested; every other
// shortcut file is tested as a shell link.
void Report::Test(ReportBlock& block)
{
    for (std::size_t row = 0; row < block.items.size(); ++row) {
        const TShortcutListItem& item = block.items[row];
        if (item.IsFolder)
            continue;
        std::string ext(NameExtension(item.Name));
        for (char& c : ext)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (ext == ".URL") {
            block.tests[row] = TestState::Internet;
        } else if (TestShellLink(block.Path(row))) {
            block.tests[row] = TestState::Passed;
        } else {
            block.tests[row] = TestState::Failed;
            anyFailed_ = true;
        }
    }
}

std::vector<std::string_view> Report::HeaderCells() const
{
    std::vector<std::string_view> cells;
    for (const char letter : options_.columns)
        cells.push_back(ColumnCaption(letter));
    if (options_.test)
        cells.push_back(kTestCaption);
    if (options_.recursive)
        cells.push_back(options_.format == ReportFormat::Text ? kFolderCaption : kSourceCaption);
    return cells;
}

void Report::WriteJson(std::string& out) const
{
    out += '[';
    bool first = true;
    const auto field = [&out](std::string_view key, std::string_view value) {
        out += '"';
        out += key;
        out += "\": ";
        AppendJsonString(out, value);
        out += ", ";
    };
    const auto number = [&out](std::string_view key, long long value) {
        out += '"';
        out += key;
        out += "\": ";
        out += std::to_string(value);
        out += ", ";
    };
    for (const auto& block : blocks_) {
        for (std::size_t row = 0; row < block.items.size(); ++row) {
            const TShortcutListItem& item = block.items[row];
            const TwekShortcutInfo& info = item.Info;
            out += first ? "\n{" : ",\n{";
            first = false;
            field("Name", item.Name);
            field("Kind", item.IsFolder ? "folder" : "shortcut");
            field("Path", block.Path(row));
            out += "\"ReadOk\": ";
            out += item.ReadOk ? "true, " : "false, ";
            field("Target", info.Target);
            field("TargetPath", info.TargetPath);
            field("StartIn", info.StartIn);
            field("Arguments", info.Arguments);
            field("Description", info.Description);
            number("ShowCommand", info.ShowCommand);
            field("WindowState", info.WindowState);
            number("Hotkey", info.Hotkey);
            field("HotkeyText", info.HotkeyText);
            field("IconLocation", info.IconLocation);
            number("IconIndex", info.IconIndex);
            out += "\"Test\": ";
            AppendJsonString(out, TestText(block.tests[row]));
            if (options_.recursive) {
                out += ", \"Source\": ";
                AppendJsonString(out, block.holder);
            }
            out += '}';
        }
    }
    out += first ? "]\n" : "\n]\n";
}

// One table for all PATHs. With more than one, a last column "Source" names the PATH
// each row came from, so the list's columns keep their places in every case; a
// recursive report always has it, naming the folder.
void Report::WriteCsv(std::string& out) const
{
    const bool withSource = !options_.recursive && options_.paths.size() > 1;
    const auto header = HeaderCells();
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (i > 0)
            out += ',';
        AppendCsvField(out, header[i]);
    }
    if (withSource) {
        out += ',';
        out += kSourceCaption;
    }
    out += "\r\n";
    std::string scratch;
    for (const auto& block : blocks_) {
        for (std::size_t row = 0; row < block.items.size(); ++row) {
            for (std::size_t i = 0; i < ColumnCount(); ++i) {
                if (i > 0)
                    out += ',';
                AppendCsvField(out, Cell(block, row, i, scratch));
            }
            if (withSource) {
                out += ',';
                AppendCsvField(out, block.source);
            }
            out += "\r\n";
        }
    }
}

// A table per PATH, its columns aligned. With more than one PATH, each table is
// headed by its PATH and a colon, and a blank line comes between tables. A recursive
// report is one table whose last column names each row's folder.
void Report::WriteText(std::string& out) const
{
    const auto header = HeaderCells();
    const std::size_t columns = ColumnCount();
    std::string scratch;
    // The blocks [first, last) make one table.
    const auto writeTable = [&](auto first, auto last) {
        std::vector<int> widths(columns);
        for (std::size_t i = 0; i < columns; ++i)
            widths[i] = DisplayWidth(header[i]);
        for (auto block = first; block != last; ++block)
            for (std::size_t row = 0; row < block->items.size(); ++row)
                for (std::size_t i = 0; i + 1 < columns; ++i) // the last column is never padded
                    widths[i] = std::max(widths[i], DisplayWidth(Cell(*block, row, i, scratch)));

        // Cells padded to their column's width; no line ends in blanks.
        const auto writeLine = [&](const auto& cellAt) {
            std::size_t last = columns;
            while (last > 1 && cellAt(last - 1).empty())
                --last;
            for (std::size_t i = 0; i < last; ++i) {
                const std::string_view cell = cellAt(i);
                AppendTerminalSafe(out, cell);
                if (i + 1 < last)
                    out.append(static_cast<std::size_t>(widths[i] - DisplayWidth(cell) + 2), ' ');
            }
            out += '\n';
        };
        writeLine([&header](std::size_t i) { return header[i]; });
        for (auto block = first; block != last; ++block)
            for (std::size_t row = 0; row < block->items.size(); ++row)
                writeLine([&](std::size_t i) { return Cell(*block, row, i, scratch); });
    };
    if (options_.recursive) {
        writeTable(blocks_.begin(), blocks_.end());
        return;
    }
    const bool withHeadings = options_.paths.size() > 1;
    for (auto block = blocks_.begin(); block != blocks_.end(); ++block) {
        if (withHeadings) {
            if (block != blocks_.begin())
                out += '\n';
            AppendTerminalSafe(out, block->source);
            out += ":\n";
        }
        writeTable(block, block + 1);
    }
}

int Report::Run()
{
    bool pathError = false;
    for (const auto& path : options_.paths)
        if (!AddPath(path))
            pathError = true;

    std::string out;
    switch (options_.format) {
    case ReportFormat::Json: WriteJson(out); break;
    case ReportFormat::Csv: WriteCsv(out); break;
    case ReportFormat::Text: WriteText(out); break;
    }
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        Error(std::string("cannot write the report: ") + std::strerror(errno));
        return kExitError;
    }
    if (pathError)
        return kExitError;
    return anyFailed_ ? kExitTestFailed : kExitOk;
}

bool ParseArguments(int argc, char** argv, ReportOptions& options)
{
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg.front() != '-') {
            options.paths.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--test") {
            options.test = true;
        } else if (arg == "--recursive") {
            options.recursive = true;
        } else if (arg.starts_with("--format=")) {
            const std::string_view format = arg.substr(9);
            if (format == "text")
                options.format = ReportFormat::Text;
            else if (format == "csv")
                options.format = ReportFormat::Csv;
            else if (format == "json")
                options.format = ReportFormat::Json;
            else
                return UsageError("unknown report format \"" + TerminalSafe(format) + "\"; use text, csv or json");
        } else if (arg.starts_with("--columns=")) {
            const std::string_view columns = arg.substr(10);
            if (!IsValidColumnSet(columns))
                return UsageError("\"" + TerminalSafe(columns) +
                                  "\" is not a column set: \"a\" followed by distinct letters from b to j");
            options.columns = columns;
        } else {
            return UsageError(UnknownOption(arg) + " for --report");
        }
    }
    if (options.paths.empty())
        return UsageError("--report needs at least one PATH");
    return true;
}

} // namespace

int RunReport(int argc, char** argv)
{
    ReportOptions options;
    if (!ParseArguments(argc, argv, options))
        return kExitError;
    return Report(std::move(options)).Run();
}
