#include "app/Settings.h"

#include "platform/registry/Registry.h"
#include "platform/shellfolders/ShellFolders.h"

using platform::registry::Hive;
using platform::registry::Key;

TSettingsRead ReadWindowSettings(TWindowSettings& out)
{
    Key key;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, key) != platform::registry::Success)
        return TSettingsRead::srNoKey;
    const bool complete = key.ReadBool("DefAct", out.defAct) && key.ReadInteger("WinTop", out.top) &&
                          key.ReadInteger("WinLeft", out.left) && key.ReadInteger("WinHeight", out.height) &&
                          key.ReadInteger("WinWidth", out.width) && key.ReadString("ColShow", out.colShow) &&
                          key.ReadInteger("TreeWidth", out.treeWidth) && key.ReadString("LastDir", out.lastDir) &&
                          key.ReadBool("MenuShow", out.menuShow);
    return complete ? TSettingsRead::srComplete : TSettingsRead::srDamaged;
}

void WriteWindowSettings(const TWindowSettings& settings, bool writePlace, bool writeSize)
{
    // One write of the hive for all the values: quicker at logout, and another
    // instance or a crash sees all of them or none.
    platform::registry::Batch batch(Hive::CurrentUser);
    Key key;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, key) != platform::registry::Success)
        return;
    if (!key.WriteBool("DefAct", settings.defAct))
        return;
    if (writePlace && !(key.WriteInteger("WinTop", settings.top) && key.WriteInteger("WinLeft", settings.left)))
        return;
    if (writeSize &&
        !(key.WriteInteger("WinHeight", settings.height) && key.WriteInteger("WinWidth", settings.width)))
        return;
    if (!key.WriteInteger("TreeWidth", settings.treeWidth) || !key.WriteString("LastDir", settings.lastDir) ||
        !key.WriteString("ColShow", settings.colShow))
        return;
    if (!key.ValueExists("MenuShow")) {
        if (key.WriteBool("MenuSave", false))
            key.WriteBool("MenuShow", true);
        return;
    }
    bool menuSave = false;
    if (key.ReadBool("MenuSave", menuSave) && menuSave)
        key.WriteBool("MenuShow", settings.menuShow);
}

std::string StartMenuFolder()
{
    Key folders;
    std::string startMenu;
    if (Key::Open(Hive::CurrentUser, platform::kShellFoldersKey, folders) == platform::registry::Success)
        folders.ReadString("Start Menu", startMenu);
    return startMenu;
}
