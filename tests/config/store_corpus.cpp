#include "store_corpus.h"

#include "config/profile.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Op {
    enum Type { Read, Write, Delete } Kind;
    std::string Section;
    std::string Key;
    std::string Value; // the default of a read, the value of a write
    int Size = 256;
    bool NullValue = false; // a null default, or a null key on delete
};

struct Case {
    std::string Name;
    bool HasFile;
    std::string File;
    std::vector<Op> Ops;
};

Op R(std::string s, std::string k, std::string def = "dflt", int size = 256) {
    return {Op::Read, std::move(s), std::move(k), std::move(def), size};
}
Op W(std::string s, std::string k, std::string v) {
    return {Op::Write, std::move(s), std::move(k), std::move(v)};
}
Op D(std::string s, std::string k) {
    return {Op::Delete, std::move(s), std::move(k), ""};
}

std::string Escape(const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Deterministic bytes that are not text: no byte order mark at the start.
std::string Garbage(size_t n, uint32_t seed) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s += static_cast<char>(seed >> 23);
    }
    s[0] = 'G';
    return s;
}

// A literal with NUL bytes inside, kept whole.
template <size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::vector<Op> ReadsAllSizes(const char* s, const char* k) {
    std::vector<Op> ops;
    for (int size : {1, 2, 3, 4, 5, 6, 8, 256})
        ops.push_back(R(s, k, "dflt", size));
    return ops;
}

void Append(std::vector<Op>& to, const std::vector<Op>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<Case> HandWritten() {
    std::vector<Case> cases;
    cases.push_back({"layout",
                     true,
                     "; comment line\r\n  [Main]  \r\nAccounts = user1 - server1,server2 \r\n"
                     "\t PlaySound\t=\tYes\t\n\n\n[newmail]\rchangecolour=false\r"
                     "newmailcolour = 1,2,3 \n [ spaced name ] \nk = a = b \n",
                     {R("main", "accounts"), R("MAIN", "ACCOUNTS"), R(" main ", " accounts "),
                      R("main", "playsound"), R("newmail", "changecolour"),
                      R("NewMail", "newmailcolour"), R("main", "missing"), R("spaced name", "k"),
                      R("newmail", "playsound"), R("absent", "k")}});
    Case quotes{"quotes",
                true,
                "[q]\ndq=\"a b\"\nsq='a b'\nmixed=\"a'\nlone=\"\npair=\"\"\nspair=''\n"
                "padded= \" x \" \ninner=\"q\"q\"\ndqsq='\"'\nfour=\"\"\"\"\nhalf=a\"\n"
                "quoteend=\"abc\"d\n",
                {}};
    for (const char* k : {"dq", "sq", "mixed", "lone", "pair", "spair", "padded", "inner", "dqsq",
                          "four", "half", "quoteend"})
        quotes.Ops.push_back(R("q", k));
    Append(quotes.Ops, ReadsAllSizes("q", "dq"));
    Append(quotes.Ops, ReadsAllSizes("q", "padded"));
    Append(quotes.Ops, ReadsAllSizes("q", "half"));
    cases.push_back(quotes);
    cases.push_back(
        {"duplicates",
         true,
         "[a]\nk=1\nk=2\n[b]\nk=3\n[A]\nk=4\nj=5\nn\nn=6\n[c]\nn\nn=7\nK = 8\n",
         {R("a", "k"), R("A", "j"), R("b", "k"), R("c", "n"), R("c", "k"), R("a", "n")}});
    cases.push_back({"no equals",
                     true,
                     "top=1\nbare\n[open\nk=2\n[sec] trailing\nx]y\n=v\n  =  \nk3\n[]\n"
                     "e=9\n[sec2]\n[nested]]\nz=3\n",
                     {R("", "top"), R("", "bare"), R("", "k"), R("open", "k"), R("sec", "k"),
                      R("sec", "k3"), R("sec", "x]y"), R("sec", ""), R("", "e"), R("sec2", "z"),
                      R("nested]", "z"), R("nested", "z"), R("sec", "=v")}});
    std::string v300(300, 'v');
    std::string k300(300, 'k');
    std::string s300(300, 's');
    cases.push_back(
        {"long",
         true,
         "[l]\nv300=" + v300 + "\nq300=\"" + v300 + "\"\n" + k300 + "=long key\n[" + s300 +
             "]\nk=long section\n",
         {R("l", "v300"), R("l", "v300", "", 300), R("l", "v300", "", 302),
          R("l", "v300", "", 1024), R("l", "q300"), R("l", "q300", "", 301),
          R("l", "q300", "", 302), R("l", "q300", "", 303), R("l", k300), R(s300, "k")}});
    cases.push_back({"empty values",
                     true,
                     "[e]\nk=\nk2=   \nk3\nk4=\"\"\n",
                     {R("e", "k"), R("e", "k2"), R("e", "k3"), R("e", "k4"), R("e", "k5")}});
    cases.push_back({"empty file", true, "", {R("e", "k"), R("", "k")}});
    cases.push_back({"blank lines only", true, "\n\r\n \t \r\r\n", {R("e", "k")}});
    cases.push_back(
        {"high bytes",
         true,
         "[h\xE9]\nk\xF6=\xE9t\xE9\nv=\x80\x81\x8d\x8f\x90\x9d\xff\nnb=\xA0x\xA0\nel=\x85x\x85\n"
         "[m]\nmix=a\xC3\xA9z\n",
         {R("h\xE9", "k\xF6"), R("h\xE9", "v"), R("h\xE9", "nb"), R("h\xE9", "el"),
          R("m", "mix")}});
    cases.push_back({"control bytes",
                     true,
                     Bytes("[c]\nnul=a\0b\nz=\x1Az\x1A\nvf=\v\fv\f\v\ntab=a\tb\n"
                           "na\0me=1\n[se\0c]\nk=2\n"),
                     {R("c", "nul"), R("c", "z"), R("c", "vf"), R("c", "tab"), R("c", "na"),
                      R("se", "k"), R("sec", "k")}});
    std::string binary = Garbage(4096, 7) + "\n[main]\nkey=found\n" + Garbage(2048, 9);
    std::string nuls(512, '\0');
    cases.push_back({"not text", true, binary, {R("main", "key"), R("main", "other")}});
    cases.push_back(
        {"nul filled", true, nuls + "\n[main]\nkey=found\n" + nuls, {R("main", "key")}});
    std::string huge(100 * 1024, 'h');
    cases.push_back({"100 kB lines",
                     true,
                     "[x]\nbig=" + huge + "\nk=ok\n[" + huge + "]\nk=2\n[y]\nk=3\n" + huge,
                     {R("x", "big"), R("x", "big", "", 1024), R("x", "k"), R("y", "k")}});
    cases.push_back({"cut in a value",
                     true,
                     "[main]\naccounts=a,b\n[acc]\nserver=mail.exa",
                     {R("main", "accounts"), R("acc", "server")}});
    cases.push_back({"cut in a key",
                     true,
                     "[main]\naccounts=a\n[acc]\nser",
                     {R("main", "accounts"), R("acc", "ser"), R("acc", "server")}});
    cases.push_back(
        {"cut in a header", true, "[main]\nk=1\n[mai", {R("main", "k"), R("mai", "k")}});
    cases.push_back({"byte order mark", true, "\xEF\xBB\xBF[main]\nk=v\n", {R("main", "k")}});
    Case defaults{"defaults", false, "", {}};
    for (const char* d :
         {"  dq  ", "\"dq\"", "'a\"", "   ", "", " \"a\" ", "\"", "'x'", "long default text"})
        defaults.Ops.push_back(R("s", "k", d));
    defaults.Ops.push_back(R("s", "k", "long default text", 5));
    defaults.Ops.push_back(R("s", "k", "\"quoted\"", 5));
    defaults.Ops.push_back(R("s", "k", "\"quoted\"", 8));
    Op nullDefault = R("s", "k", "");
    nullDefault.NullValue = true;
    defaults.Ops.push_back(nullDefault);
    cases.push_back(defaults);
    return cases;
}

std::vector<Case> Writes() {
    std::vector<Case> cases;
    std::string v300(300, 'w');
    Op dropSection = D("newmail", "");
    dropSection.NullValue = true;
    cases.push_back({"writes from nothing",
                     false,
                     "",
                     {W("main", "accounts", "x"),
                      W("newmail", "playsound", "true"),
                      R("main", "accounts"),
                      W("MAIN", "Accounts", "y"),
                      R("main", "accounts"),
                      W("acc", "port", "110"),
                      R("acc", "Port"),
                      W("acc", "Port", "995"),
                      R("acc", "port"),
                      D("main", "accounts"),
                      R("main", "accounts"),
                      D("main", "accounts"),
                      D("gone", "k"),
                      R("gone", "k"),
                      W("acc", "blanks", "  v  "),
                      R("acc", "blanks"),
                      W("acc", "q", "\"q\""),
                      R("acc", "q"),
                      W("acc", "empty", ""),
                      R("acc", "empty"),
                      W(" acc ", " spaced ", "s"),
                      R("acc", "spaced"),
                      W("acc", "long", v300),
                      R("acc", "long"),
                      R("acc", "long", "", 1024),
                      W("acc", "high", "\xE9\xA0"),
                      R("acc", "high"),
                      W("acc", "eq", "a=b"),
                      R("acc", "eq"),
                      W("acc", "tabs", "\tt\t"),
                      R("acc", "tabs"),
                      dropSection,
                      R("newmail", "playsound"),
                      R("main", "accounts"),
                      R("acc", "port")}});
    cases.push_back(
        {"writes into a hand-written file",
         true,
         "[a]\nk=1\nn\n[b]\nk=2\n[A]\nj=3\n[c]\nlast=1",
         {W("A", "j", "new"), R("a", "j"), W("a", "n", "given"), R("a", "n"), W("c", "added", "v"),
          R("c", "last"), R("c", "added"), W("d", "k", "v"), R("d", "k"), R("b", "k"), D("a", "k"),
          R("a", "k"), W("a", "k", "back"), R("a", "k"), R("A", "j")}});
    cases.push_back({"line ends inside a written value",
                     false,
                     "",
                     {W("s", "v", "a\nb=c"), R("s", "v"), R("s", "b"), W("s", "r", "x\r[t]\rk=1"),
                      R("s", "r"), R("t", "k")}});
    return cases;
}

} // namespace

std::string RunStoreCorpus(const std::string& folder) {
    std::string transcript;
    std::vector<Case> cases = HandWritten();
    for (Case& c : Writes())
        cases.push_back(std::move(c));
    int index = 0;
    for (const Case& c : cases) {
        // A fresh file per case: the platform may cache a file it has read.
        std::string path = folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + "case" +
                           std::to_string(index++) + ".ini";
        if (c.HasFile)
            WriteFileBytes(path, c.File);
        int step = 0;
        for (const Op& op : c.Ops) {
            std::string line = c.Name + " #" + std::to_string(step++) + ": ";
            const char* keyArg = op.Kind == Op::Delete && op.NullValue ? nullptr : op.Key.c_str();
            std::string section = op.Section;
            if (section.size() > 40)
                section = section.substr(0, 12) + "...(" + std::to_string(section.size()) + ")";
            std::string key = keyArg ? op.Key : "(null)";
            if (key.size() > 40)
                key = key.substr(0, 12) + "...(" + std::to_string(key.size()) + ")";
            if (op.Kind == Op::Read) {
                std::vector<char> buffer(static_cast<size_t>(op.Size) + 16, '#');
                int n = ProfileReadString(op.Section.c_str(), keyArg,
                                          op.NullValue ? nullptr : op.Value.c_str(), buffer.data(),
                                          op.Size, path.c_str());
                std::string got(buffer.data());
                line += "read [" + Escape(section) + "] " + Escape(key) + " size " +
                        std::to_string(op.Size) + " default \"" + Escape(op.Value) + "\" -> " +
                        std::to_string(n) + " \"" + Escape(got) + "\"";
            } else {
                const char* value = op.Kind == Op::Write ? op.Value.c_str() : nullptr;
                int rc = ProfileWriteString(op.Section.c_str(), keyArg, value, path.c_str());
                line += (op.Kind == Op::Write ? "write [" : "delete [") + Escape(section) + "] " +
                        Escape(key) + " \"" + Escape(op.Value) + "\" -> " + std::to_string(rc);
            }
            transcript += line + "\n";
        }
    }
    return transcript;
}
