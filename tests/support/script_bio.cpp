#include "support/script_bio.h"

#include <openssl/bio.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

using Holder = std::shared_ptr<ScriptBioState>;

ScriptBioState& StateOf(BIO* b) {
    return **static_cast<Holder*>(BIO_get_data(b));
}

int ScriptRead(BIO* b, char* out, int size) {
    ScriptBioState& s = StateOf(b);
    BIO_clear_retry_flags(b);
    if (size <= 0)
        return 0;
    std::size_t most =
        std::min(static_cast<std::size_t>(size), static_cast<std::size_t>(std::max(1, s.Piece)));
    if (s.Position >= s.Incoming.size()) {
        if (s.Endless.empty() || s.EndlessBytes >= s.EndlessLimit)
            return 0;
        most = std::min(most, s.EndlessLimit - s.EndlessBytes);
        for (std::size_t n = 0; n < most;) {
            const std::size_t at = s.EndlessBytes % s.Endless.size();
            const std::size_t run = std::min(most - n, s.Endless.size() - at);
            std::memcpy(out + n, s.Endless.data() + at, run);
            n += run;
            s.EndlessBytes += run;
        }
        ++s.Reads;
        return static_cast<int>(most);
    }
    const std::size_t n = std::min(most, s.Incoming.size() - s.Position);
    std::memcpy(out, s.Incoming.data() + s.Position, n);
    s.Position += n;
    ++s.Reads;
    return static_cast<int>(n);
}

int ScriptWrite(BIO* b, const char* data, int size) {
    ScriptBioState& s = StateOf(b);
    BIO_clear_retry_flags(b);
    if (s.FailWrites)
        return -1;
    s.Written.append(data, static_cast<std::size_t>(size));
    return size;
}

long ScriptCtrl(BIO*, int cmd, long, void*) {
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int ScriptCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

int ScriptDestroy(BIO* b) {
    delete static_cast<Holder*>(BIO_get_data(b));
    BIO_set_data(b, nullptr);
    return 1;
}

BIO_METHOD* Method() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "script");
        BIO_meth_set_read(m, ScriptRead);
        BIO_meth_set_write(m, ScriptWrite);
        BIO_meth_set_ctrl(m, ScriptCtrl);
        BIO_meth_set_create(m, ScriptCreate);
        BIO_meth_set_destroy(m, ScriptDestroy);
        return m;
    }();
    return method;
}

} // namespace

BIO* NewScriptBio(std::shared_ptr<ScriptBioState> state) {
    BIO* b = BIO_new(Method());
    BIO_set_data(b, new Holder(std::move(state)));
    return b;
}
