#include "auth/oauth_provider.h"
#include "auth/token_store.h"
#include "config/obfuscate.h"
#include "config/settings.h"
#include "mail/account.h"
#include "mail/account_list.h"
#include "mail/replace_file.h"
#include "net/peer_certificate.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr signed char PasswordLowest = 0x20;
constexpr signed char PasswordHighest = 0x7E;

// Only what was learned is written: a settings file of an account that never met a
// certificate or STARTTLS keeps the keys it had.
int WriteTrust(const char* section, const CGServerSettings& s, const char* settingsPath) {
    const char* pin = s.CertPin.empty() ? nullptr : s.CertPin.c_str();
    int written = WriteProfileText(section, "certpin", pin, settingsPath);
    written &= WriteProfileText(section, "starttls", s.StartTls ? "true" : nullptr, settingsPath);
    written &=
        WriteProfileText(section, "plainlogin", s.PlainLogin ? "true" : nullptr, settingsPath);
    return written;
}

// The sign-in: the provider, the address and the refresh token, protected for this user of
// this computer (never in the clear). An account without one has none of the keys.
int WriteSignIn(const char* section, const CGServerSettings& s, const char* settingsPath) {
    const bool signedIn = !s.OAuth.empty();
    const std::string token =
        signedIn && !s.RefreshToken.empty() ? ProtectToken(s.RefreshToken) : std::string();
    int written =
        WriteProfileText(section, "oauth", signedIn ? s.OAuth.c_str() : nullptr, settingsPath);
    written &= WriteProfileText(section, "oauth-user", signedIn ? s.OAuthUser.c_str() : nullptr,
                                settingsPath);
    written &= WriteProfileText(section, "oauth-token", token.empty() ? nullptr : token.c_str(),
                                settingsPath);
    return written;
}

void ReadSignIn(const char* section, CGServerSettings& s, const char* settingsPath) {
    const std::string provider = ReadProfileText(section, "oauth", settingsPath);
    if (provider != OAuthMicrosoft && provider != OAuthGoogle)
        return;
    s.OAuth = provider;
    s.OAuthUser = ReadProfileText(section, "oauth-user", settingsPath);
    // A token protected for another user or computer reads as none: "Sign-in needed".
    UnprotectToken(ReadProfileLongText(section, "oauth-token", settingsPath), s.RefreshToken);
}

} // namespace

int CGAccount::SaveTrust(const char* settingsPath) {
    const CGServerSettings s = CopySettings();
    if (Section.empty() || !SameServer(s, StoredServer))
        return 1; // never stored, or stored for another server: all goes at the next save
    return WriteTrust(Section.c_str(), s, settingsPath) &
           WriteSignIn(Section.c_str(), s, settingsPath);
}

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
    s.CertPin = NormalisedPin(ReadProfileText(section, "certpin", settingsPath));
    s.StartTls = ReadProfileBool(section, "starttls", 0, settingsPath);
    s.PlainLogin = ReadProfileBool(section, "plainlogin", 0, settingsPath);
    ReadSignIn(section, s, settingsPath);
    ReplaceSettings(s);
    StoredServer = s;
    UpdateName();
    DoubleClick.Assign(ReadProfileText(section, "doubleclick", settingsPath).c_str());

    // The seen list is read from the section's file; the next save moves both to the Name.
    Section = section;
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
    const std::string section = Name.GetOrEmpty();
    CGObfuscate password(s.Password.GetOrEmpty(), PasswordLowest, PasswordHighest);
    password.Encode();
    const char* at = section.c_str();
    int written = WriteProfileText(at, "server", s.Server.GetOrEmpty(), settingsPath);
    written &= WriteProfileText(at, "username", s.Username.GetOrEmpty(), settingsPath);
    written &= WriteProfileText(at, "password", password.Get() ? password.Get() : "", settingsPath);
    written &= WriteProfileBool(at, "SSL", s.UseSSL, settingsPath);
    written &= WriteProfileInt(at, "port", s.Port, settingsPath);
    written &= WriteProfileInt(at, "checkmins", s.CheckMinutes, settingsPath);
    written &= WriteProfileText(at, "doubleclick", DoubleClick.GetOrEmpty(), settingsPath);
    written &= WriteTrust(at, s, settingsPath);
    written &= WriteSignIn(at, s, settingsPath);
    if (written) {
        Section = section;
        StoredServer = s;
    }

    std::string seenPath;
    MakeDataPath("uidl", at, seenPath);
    if (seenPath.empty() || !SaveSeenList(seenPath))
        return 0;
    UidlFilePath = seenPath;
    return written;
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
    LoadOAuthSettings(settingsPath);
    PlaySound = ReadProfileBool("newmail", "playsound", 0, settingsPath);
    CustomSound.Assign(ReadProfileText("newmail", "customsound", settingsPath).c_str());
    ChangeColour = ReadProfileBool("newmail", "changecolour", 1, settingsPath);
    NewMailColour = ReadNewMailColour(settingsPath);
    CGCommaList names;
    if (!ReadAccountNames(settingsPath, names))
        return 1;
    names.Split();
    for (int i = 0; i < names.Count; ++i)
        AddAccount()->Load(names.Field(i), settingsPath);
    return 1;
}

int CAccountList::Save(const char* settingsPath) {
    CGCommaList names;
    for (CGAccount& a : *this)
        names.Append(a.Name.GetOrEmpty());
    int ok = WriteProfileBool("newmail", "playsound", PlaySound, settingsPath);
    ok &= WriteProfileText("newmail", "customsound", CustomSound.GetOrEmpty(), settingsPath);
    ok &= WriteProfileBool("newmail", "changecolour", ChangeColour, settingsPath);
    ok &= WriteNewMailColour(NewMailColour, settingsPath);
    // With no accounts there is no text, and the key goes.
    ok &= WriteProfileText("main", "accounts", names.Text, settingsPath);

    // Places that accounts have left in this run: removed accounts' sections, and the old
    // section and seen file of every account whose name changed, once the new ones are
    // written. Left behind, they would keep a password the user believes gone.
    std::vector<std::string> oldSections = std::move(RemovedSections);
    RemovedSections.clear();
    std::vector<std::string> oldSeenFiles;
    for (CGAccount& a : *this) {
        const std::string section = a.Section;
        const std::string seenFile = a.UidlFilePath;
        ok = a.Save(settingsPath) && ok;
        if (!section.empty() && !SameStoredName(section, a.Section))
            oldSections.push_back(section);
        if (!seenFile.empty() && !SameStoredName(seenFile, a.UidlFilePath))
            oldSeenFiles.push_back(seenFile);
    }
    ForgetUnused(oldSections, oldSeenFiles, settingsPath);
    return ok;
}

void CAccountList::ForgetUnused(const std::vector<std::string>& sections,
                                const std::vector<std::string>& seenFiles,
                                const char* settingsPath) {
    // Two accounts of the same name share a section and a seen file: what a listed account
    // still uses stays.
    for (const std::string& section : sections)
        if (!AnyNamed(section))
            DeleteProfileSection(section.c_str(), settingsPath);
    for (const std::string& file : seenFiles)
        if (!AnySeenAt(file))
            std::remove(file.c_str());
}
