#include "auth/oauth_provider.h"
#include "auth/token_store.h"
#include "config/ini_text.h"
#include "config/settings.h"
#include "config/stored_password.h"
#include "mail/account.h"
#include "mail/account_list.h"
#include "mail/replace_file.h"
#include "net/peer_certificate.h"

#include "base/scan.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

// Windows opens a device, not a file, for these names before the first dot, whatever follows.
bool NamesADevice(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (const char* device : {"con", "prn", "aux", "nul"})
        if (EqualsIgnoringCase(stem, device))
            return true;
    const std::string kind = stem.substr(0, 3);
    return stem.size() == 4 &&
           (EqualsIgnoringCase(kind, "com") || EqualsIgnoringCase(kind, "lpt")) && stem[3] >= '0' &&
           stem[3] <= '9';
}

// The n-th section an account of this name may take: the name, then "name (2)", "name (3)"...
std::string NumberedSection(const std::string& name, int n) {
    return n < 2 ? name : CGIniText::Trim((name + " (" + std::to_string(n) + ")").c_str());
}

// Whether section is one of the NumberedSection of name.
bool SectionFitsName(const std::string& section, const std::string& name) {
    if (section.empty())
        return false;
    if (section == name)
        return true;
    const size_t open = section.rfind('(');
    if (open == std::string::npos || section.back() != ')')
        return false;
    const std::string number = section.substr(open + 1, section.size() - open - 2);
    const bool digits =
        !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
    return digits && section == NumberedSection(name, ParseLeadingInt(number.c_str()));
}

} // namespace

std::string SeenFilePath(const std::string& section) {
    std::string name;
    for (char c : section)
        name += static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) ? '_' : c;
    if (NamesADevice(name))
        name.insert(0, "_");
    std::string path;
    MakeDataPath("uidl", name.c_str(), path);
    return path;
}

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
    s.Password.Assign(
        PasswordFromStored(ReadProfileText(section, "password", settingsPath)).c_str());
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

    // The seen list is read from the section's file; a save may move both (to the section
    // that the list plans from the Name).
    // The store ignores blanks around a section's name, and so does the account.
    Section = CGIniText::Trim(section);
    UidlFilePath = SeenFilePath(Section);
    if (!UidlFilePath.empty()) {
        if (std::FILE* file = std::fopen(UidlFilePath.c_str(), "r")) {
            Session.LoadSeenList(file);
            std::fclose(file);
        }
    }
    UpdateStatusText();
    return 1;
}

int CGAccount::Save(const std::string& section, const char* settingsPath) {
    const CGServerSettings s = CopySettings();
    const std::string password = StoredPassword(s.Password.GetOrEmpty());
    const char* at = section.c_str();
    int written = WriteProfileText(at, "server", s.Server.GetOrEmpty(), settingsPath);
    written &= WriteProfileText(at, "username", s.Username.GetOrEmpty(), settingsPath);
    written &= WriteProfileText(at, "password", password.c_str(), settingsPath);
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

    const std::string seenPath = SeenFilePath(section);
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
    Notify = ReadProfileBool("newmail", "notify", 1, settingsPath);
    NotifyDetails = ReadProfileBool("newmail", "notifydetails", 1, settingsPath);
    CGCommaList names;
    if (!ReadAccountNames(settingsPath, names))
        return 1;
    names.Split();
    for (int i = 0; i < names.Count; ++i)
        AddAccount()->Load(names.Field(i), settingsPath);
    return 1;
}

std::vector<std::string> CAccountList::PlanSections() const {
    // Each account gets a section and a seen file of its own (neither the settings file nor
    // Windows' file names tell letter case apart). An account keeps the section it has while
    // that still fits its name; the others take the first free NumberedSection of theirs.
    std::vector<std::string> planned(Accounts.size());
    std::vector<std::string> files(Accounts.size()); // the seen file of each planned section
    auto take = [&](size_t i, const std::string& section) {
        if (section.empty())
            return false;
        const std::string file = SeenFilePath(section); // cut at the path limit: compared whole
        for (size_t j = 0; j < planned.size(); ++j)
            if (!planned[j].empty() &&
                (SameStoredName(planned[j], section) || SameStoredName(files[j], file)))
                return false;
        planned[i] = section;
        files[i] = file;
        return true;
    };
    for (size_t i = 0; i < planned.size(); ++i) {
        const CGAccount& a = *Accounts[i];
        if (SectionFitsName(a.Section, a.Name.GetOrEmpty()))
            take(i, a.Section);
    }
    for (size_t i = 0; i < planned.size(); ++i) {
        const std::string name = Accounts[i]->Name.GetOrEmpty();
        for (int n = 1; planned[i].empty(); ++n)
            take(i, NumberedSection(name, n));
    }
    return planned;
}

int CAccountList::Save(const char* settingsPath) {
    // Places that accounts have left in this run: removed accounts' sections and seen files,
    // and the old ones of every account that moved, once the new ones are written. Left
    // behind, they would keep a password the user believes gone.
    std::vector<std::string> oldSections = std::move(RemovedSections);
    std::vector<std::string> oldSeenFiles = std::move(RemovedSeenFiles);
    RemovedSections.clear();
    RemovedSeenFiles.clear();
    // The sections first: a crash before the list is written leaves the old list, and every
    // section it names is still there.
    const std::vector<std::string> planned = PlanSections();
    int ok = 1;
    CGCommaList names;
    for (size_t i = 0; i < planned.size(); ++i) {
        CGAccount& a = *Accounts[i];
        const std::string section = a.Section;
        const std::string seenFile = a.UidlFilePath;
        ok = a.Save(planned[i], settingsPath) && ok;
        if (!section.empty() && section != a.Section)
            oldSections.push_back(section);
        if (!seenFile.empty() && seenFile != a.UidlFilePath)
            oldSeenFiles.push_back(seenFile);
        // Listed where it is stored; an account whose section could not be written at all
        // is not listed, so the list never names a section that is not there.
        if (!a.Section.empty())
            names.Append(a.Section.c_str());
    }
    ok &= WriteProfileBool("newmail", "playsound", PlaySound, settingsPath);
    ok &= WriteProfileText("newmail", "customsound", CustomSound.GetOrEmpty(), settingsPath);
    ok &= WriteProfileBool("newmail", "changecolour", ChangeColour, settingsPath);
    ok &= WriteNewMailColour(NewMailColour, settingsPath);
    ok &= WriteProfileBool("newmail", "notify", Notify, settingsPath);
    ok &= WriteProfileBool("newmail", "notifydetails", NotifyDetails, settingsPath);
    // With no accounts there is no text, and the key goes. While the old list stays, so do
    // the places it names.
    if (!WriteProfileText("main", "accounts", names.Text, settingsPath))
        return 0;
    ForgetUnused(oldSections, oldSeenFiles, settingsPath);
    return ok;
}

void CAccountList::ForgetUnused(const std::vector<std::string>& sections,
                                const std::vector<std::string>& seenFiles,
                                const char* settingsPath) {
    // A section or file that a listed account has now taken over stays.
    for (const std::string& section : sections)
        if (!AnyStoredIn(section))
            DeleteProfileSection(section.c_str(), settingsPath);
    for (const std::string& file : seenFiles)
        if (!AnySeenAt(file))
            std::remove(file.c_str());
}
