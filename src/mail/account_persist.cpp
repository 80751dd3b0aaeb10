#include "config/obfuscate.h"
#include "config/settings.h"
#include "mail/account.h"
#include "mail/account_list.h"
#include "mail/replace_file.h"

#include <cstdio>

namespace {

constexpr signed char PasswordLowest = 0x20;
constexpr signed char PasswordHighest = 0x7E;

const char* OrEmpty(const CGText& text) {
    return text.IsNull() ? "" : text.Get();
}

} // namespace

int CGAccount::Load(const char* section, const char* settingsPath) {
    CGServerSettings s;
    s.Server.Assign(ReadProfileText(section, "server", settingsPath).c_str());
    s.Username.Assign(ReadProfileText(section, "username", settingsPath).c_str());
    CGObfuscate password(ReadProfileText(section, "password", settingsPath).c_str(), PasswordLowest,
                         PasswordHighest);
    password.Decode();
    s.Password.Assign(password.Get() ? password.Get() : "");
    s.UseSSL = ReadProfileBool(section, "SSL", 1, settingsPath);
    s.Port = ReadProfileInt(section, "Port", 995, settingsPath);
    s.CheckMinutes = ReadProfileInt(section, "checkmins", 5, settingsPath);
    ReplaceSettings(s);
    UpdateName();
    DoubleClick.Assign(ReadProfileText(section, "doubleclick", settingsPath).c_str());

    // The seen list belongs to the section it was loaded from, even if the name changes.
    MakeDataPath("uidl", section, UidlFilePath);
    if (!UidlFilePath.empty()) {
        if (std::FILE* file = std::fopen(UidlFilePath.c_str(), "r")) {
            Session.LoadSeenList(file);
            std::fclose(file);
        }
    }
    UpdateStatusText();
    return 1;
}

int CGAccount::Save(const char* settingsPath) {
    const CGServerSettings s = CopySettings();
    const char* section = OrEmpty(Name);
    WriteProfileText(section, "server", OrEmpty(s.Server), settingsPath);
    WriteProfileText(section, "username", OrEmpty(s.Username), settingsPath);
    CGObfuscate password(OrEmpty(s.Password), PasswordLowest, PasswordHighest);
    password.Encode();
    WriteProfileText(section, "password", password.Get() ? password.Get() : "", settingsPath);
    WriteProfileBool(section, "SSL", s.UseSSL, settingsPath);
    WriteProfileInt(section, "port", s.Port, settingsPath);
    WriteProfileInt(section, "checkmins", s.CheckMinutes, settingsPath);
    WriteProfileText(section, "doubleclick", OrEmpty(DoubleClick), settingsPath);
    if (UidlFilePath.empty())
        return 1;
    return SaveSeenList(UidlFilePath);
}

int CGAccount::SaveSeenList(const std::string& path) const {
    // Written beside the real file and renamed over it, so that a crash or power cut
    // leaves the old list or the new one, never a part.
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file)
        return SaveSeenListInPlace(path); // a path at the length limit has no room for ".tmp"
    int ok = Session.WriteSeenList(file);
    ok = FlushToDisk(file) && ok;
    ok = (std::fclose(file) == 0) && ok;
    if (!ok || !ReplaceFileAtomically(temporary.c_str(), path.c_str())) {
        std::remove(temporary.c_str());
        return 0;
    }
    return 1;
}

int CGAccount::SaveSeenListInPlace(const std::string& path) const {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return 0;
    int ok = Session.WriteSeenList(file);
    return (std::fclose(file) == 0) && ok;
}

int CAccountList::Load(const char* settingsPath) {
    PlaySound = ReadProfileBool("newmail", "playsound", 0, settingsPath);
    CustomSound.Assign(ReadProfileText("newmail", "customsound", settingsPath).c_str());
    ChangeColour = ReadProfileBool("newmail", "changecolour", 1, settingsPath);
    NewMailColour = ReadNewMailColour(settingsPath);
    CGCommaList names;
    if (!ReadAccountNames(settingsPath, names))
        return 1;
    names.Split();
    for (int i = 0; i < names.Count; ++i) {
        auto* account = new CGAccount(NotifyMessage);
        Append(account);
        account->Load(names.Field(i), settingsPath);
    }
    return 1;
}

int CAccountList::Save(const char* settingsPath) {
    CGCommaList names;
    for (CGAccount* a = Accounts; a; a = a->Next)
        names.Append(OrEmpty(a->Name));
    WriteProfileBool("newmail", "playsound", PlaySound, settingsPath);
    WriteProfileText("newmail", "customsound", OrEmpty(CustomSound), settingsPath);
    WriteProfileBool("newmail", "changecolour", ChangeColour, settingsPath);
    WriteNewMailColour(NewMailColour, settingsPath);
    // With no accounts there is no text, and the key goes.
    WriteProfileText("main", "accounts", names.Text, settingsPath);
    int ok = 1;
    for (CGAccount* a = Accounts; a; a = a->Next)
        ok = a->Save(settingsPath) && ok;
    return ok;
}
