#include "auth/loopback_listener.h"

#include "net/socket_platform.h"

#include <curl/curl.h>

namespace {

constexpr std::size_t MaxHead = 16 * 1024;
constexpr int SliceMicroseconds = 100000; // how soon a wait sees Cancel()
constexpr auto HeadLimit = std::chrono::seconds(5);

std::string Decoded(std::string text) {
    for (char& c : text)
        if (c == '+')
            c = ' ';
    int length = 0;
    // The handle argument is ignored since curl 7.82.
    char* plain = curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
    std::string out = plain ? std::string(plain, static_cast<std::size_t>(length)) : std::string();
    curl_free(plain);
    return out;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void Answer(CGSocketHandle client, const char* status, const std::string& message) {
    const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Varnocle"
                             "</title></head><body><p>" +
                             Escaped(message) + "</p></body></html>\n";
    std::string reply = std::string("HTTP/1.1 ") + status +
                        "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                        std::to_string(body.size()) +
                        "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    const char* at = reply.data();
    int left = static_cast<int>(reply.size());
    while (left > 0) {
        const int sent = socket_platform::Send(client, at, left);
        if (sent <= 0)
            return;
        at += sent;
        left -= sent;
    }
}

} // namespace

int ParseRedirectRequest(const std::string& head, std::string& path,
                         std::map<std::string, std::string>& query) {
    path.clear();
    query.clear();
    if (head.compare(0, 4, "GET ") != 0)
        return 0;
    const std::size_t end = head.find(' ', 4);
    const std::size_t lineEnd = head.find_first_of("\r\n");
    if (end == std::string::npos || (lineEnd != std::string::npos && end > lineEnd))
        return 0;
    const std::string target = head.substr(4, end - 4);
    const std::size_t mark = target.find('?');
    path = target.substr(0, mark);
    if (mark == std::string::npos)
        return 1;
    const std::string pairs = target.substr(mark + 1, target.find('#') - mark - 1);
    for (std::size_t at = 0; at <= pairs.size();) {
        std::size_t next = pairs.find('&', at);
        if (next == std::string::npos)
            next = pairs.size();
        const std::string pair = pairs.substr(at, next - at);
        const std::size_t equals = pair.find('=');
        if (!pair.empty())
            query.emplace(Decoded(pair.substr(0, equals)),
                          equals == std::string::npos ? "" : Decoded(pair.substr(equals + 1)));
        at = next + 1;
    }
    return 1;
}

int CGLoopbackListener::Open() {
    Close();
    Socket = socket_platform::ListenLoopback(Port);
    return Socket != InvalidSocket ? 1 : 0;
}

std::string CGLoopbackListener::RedirectUri() const {
    return "http://localhost:" + std::to_string(Port) + "/";
}

void CGLoopbackListener::Close() {
    if (Socket != InvalidSocket)
        socket_platform::CloseSocket(Socket);
    Socket = InvalidSocket;
}

int CGLoopbackListener::WaitForCode(const std::string& state, std::chrono::milliseconds limit,
                                    std::string& code, std::string& problem) {
    if (Socket == InvalidSocket)
        return RedirectFailed;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Cancelled) {
        if (std::chrono::steady_clock::now() >= deadline)
            return RedirectTimedOut;
        const int ready = socket_platform::WaitReadable(Socket, 0, SliceMicroseconds);
        if (ready < 0)
            return RedirectFailed;
        if (ready == 0)
            continue;
        const CGSocketHandle client = socket_platform::Accept(Socket);
        if (client == InvalidSocket)
            continue;
        const int served = Serve(client, state, code, problem);
        socket_platform::CloseSocket(client);
        if (served != 0)
            return served;
    }
    return RedirectCancelled;
}

std::string CGLoopbackListener::ReadHead(CGSocketHandle client) {
    std::string head;
    const auto deadline = std::chrono::steady_clock::now() + HeadLimit;
    char buffer[2048];
    while (!Cancelled && head.size() < MaxHead && std::chrono::steady_clock::now() < deadline) {
        const int ready = socket_platform::WaitReadable(client, 0, SliceMicroseconds);
        if (ready < 0)
            break;
        if (ready == 0)
            continue;
        const int n = socket_platform::Recv(client, buffer, sizeof buffer);
        if (n <= 0)
            break;
        head.append(buffer, static_cast<std::size_t>(n));
        if (head.find("\r\n\r\n") != std::string::npos || head.find("\n\n") != std::string::npos)
            return head;
    }
    return {};
}

int CGLoopbackListener::Serve(CGSocketHandle client, const std::string& state, std::string& code,
                              std::string& problem) {
    std::string path;
    std::map<std::string, std::string> query;
    if (!ParseRedirectRequest(ReadHead(client), path, query)) {
        Answer(client, "400 Bad Request", "This is no sign-in for Varnocle.");
        return 0;
    }
    const auto given = query.find("state");
    if (path != "/" || given == query.end() || given->second != state) {
        // A browser's favicon request, an old tab, or a page that tries its luck.
        Answer(client, "404 Not Found", "This is not the sign-in Varnocle is waiting for.");
        return 0;
    }
    const auto error = query.find("error");
    const auto found = query.find("code");
    if (error != query.end() || found == query.end() || found->second.empty()) {
        problem = error != query.end() ? error->second : "no code";
        const auto description = query.find("error_description");
        if (description != query.end())
            problem += ": " + description->second.substr(0, 300);
        Answer(client, "200 OK",
               "Varnocle was not signed in (" + problem + "). You can close this tab.");
        return RedirectRefused;
    }
    code = found->second;
    Answer(client, "200 OK", "Varnocle is signed in. You can close this tab.");
    return RedirectCode;
}
