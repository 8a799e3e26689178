#pragma once
// The program's modes, chosen by main() from the command line.

// The command-line report: quillmere --report [--test] [--format=...] [--columns=...] PATH...
// args are the arguments after the program name. Returns the exit status.
int RunReport(int argc, char** argv);

// Shortcut files edited or created from the command line:
//   quillmere --edit LINK... [--target=PATH] [--args=TEXT] ... / quillmere --create LINK --target=PATH [...]
// args are the arguments after the mode. Returns the exit status: 0 saved, 1 refused, 2 usage.
int RunEditCommand(int argc, char** argv, bool create);

// The new-shortcut wizard as a process of its own: quillmere --new-shortcut FOLDER.
int RunNewShortcutWizard(int argc, char** argv);

// The main window: the program entry proper. Returns the exit status.
int RunMainWindow(int argc, char** argv);
