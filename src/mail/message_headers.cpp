#include "mail/message_headers.h"

#include "base/scan.h"
#include "mail/encoded_words.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Readable(std::string_view text) {
    return CleanDisplayText(DecodeEncodedWords(Trimmed(text)), MaxHeaderText);
}

// The pieces of a From's first mailbox.
struct Mailbox {
    std::string Phrase;  // the display name (quotes and escapes removed), or a bare address
    std::string Address; // what stood between < and >
    std::string Comment; // the first comment's text
    bool Angle = false;
};

Mailbox FirstMailbox(std::string_view from) {
    Mailbox m;
    bool quoted = false;
    int depth = 0; // of nested comments
    bool firstComment = true;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const char c = from[i];
        if (quoted || depth > 0) {
            std::string& into = quoted ? m.Phrase : m.Comment;
            if (c == '\\' && i + 1 < from.size()) {
                if (quoted || firstComment)
                    into += from[++i];
                else
                    ++i;
            } else if (quoted && c == '"') {
                quoted = false;
            } else if (!quoted && c == '(') {
                ++depth;
            } else if (!quoted && c == ')') {
                if (--depth == 0)
                    firstComment = false;
            } else if (quoted || firstComment) {
                into += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            depth = 1;
        } else if (c == '<') {
            const std::size_t close = from.find('>', i + 1);
            const std::size_t end = close == std::string_view::npos ? from.size() : close;
            m.Address.assign(from.substr(i + 1, end - i - 1));
            m.Angle = true;
            i = end;
        } else if (c == ':' && !m.Angle) {
            m.Phrase.clear(); // a group's name is not a sender: its first member is
        } else if (c == ',' || c == ';') {
            if (m.Angle || !Trimmed(m.Phrase).empty())
                break;
        } else {
            m.Phrase += c;
        }
    }
    return m;
}

} // namespace

std::string SenderName(std::string_view from) {
    const Mailbox m = FirstMailbox(from);
    if (m.Angle) {
        std::string name = Readable(m.Phrase);
        return name.empty() ? Readable(m.Address) : name;
    }
    // "address (Name)", the old form: the comment names the sender.
    std::string name = Readable(m.Comment);
    return name.empty() ? Readable(m.Phrase) : name;
}

std::string HeaderField(std::string_view block, std::string_view name) {
    std::string value;
    bool inField = false;
    std::string_view line;
    for (std::size_t at = 0; NextLine(block, at, line);) {
        if (!line.empty() && line.front() == '.') {
            if (line.size() == 1)
                break; // the end of the reply
            line.remove_prefix(1);
        }
        if (line.empty())
            break; // the end of the headers
        if (IsBlank(line.front())) {
            if (inField)
                value.append(line); // unfolded: the line end goes, the blank stays
            continue;
        }
        if (inField)
            break; // the first field of that name is whole
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view field = line.substr(0, colon);
        while (!field.empty() && IsBlank(field.back()))
            field.remove_suffix(1); // "Subject :" of old senders
        if (EqualsIgnoringCase(field, name)) {
            inField = true;
            value.assign(line.substr(colon + 1));
        }
    }
    return value;
}

CGMessageHeaders ParseMessageHeaders(std::string_view block) {
    CGMessageHeaders headers;
    headers.Sender = SenderName(HeaderField(block, "From"));
    headers.Subject = Readable(HeaderField(block, "Subject"));
    return headers;
}
