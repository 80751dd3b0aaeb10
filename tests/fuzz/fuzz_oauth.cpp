// Feeds arbitrary bytes to what sign-in reads from outside: a token endpoint's reply (as
// JSON, under any status), the loopback listener's request head, and base64 text from the
// settings file. A reply that grants must hold a token, one that does not must say why;
// nothing may crash.
#include "base/base64.h"
#include "auth/loopback_listener.h"
#include "auth/token_client.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    CGHttpsReply reply;
    reply.Status = data[0] & 1 ? 200 : 400 + data[0] % 120;
    reply.Body = text;
    CGTokenGrant grant;
    const int read = ReadTokenReply(reply, std::chrono::steady_clock::now(), grant);
    if (read == TokenGranted && grant.AccessToken.empty())
        __builtin_trap();
    if (read != TokenGranted && (!grant.AccessToken.empty() || grant.Problem.empty()))
        __builtin_trap();
    std::string path;
    std::map<std::string, std::string> query;
    if (ParseRedirectRequest(text, path, query) && text.compare(0, 4, "GET ") != 0)
        __builtin_trap();
    std::string bytes;
    if (FromBase64(text, bytes))
        Base64(bytes);
    return 0;
}
