#include "auth/https_client.h"

#include "net/cert_store.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <memory>

namespace {

struct EasyFree {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiFree {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void StartCurl() {
    static const CURLcode started = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)started;
}

struct Receiver {
    std::string* Body;
    std::size_t Limit;
    bool TooLarge = false;
};

// libcurl's write callback: no exception may leave it.
size_t Receive(char* data, size_t size, size_t count, void* user) noexcept {
    Receiver* r = static_cast<Receiver*>(user);
    const size_t n = size * count;
    if (n > r->Limit - r->Body->size()) {
        r->TooLarge = true;
        return 0; // ends the transfer
    }
    try {
        r->Body->append(data, n);
    } catch (...) {
        return 0;
    }
    return n;
}

// The process's authorities instead of whatever libcurl would load.
CURLcode UseOurAuthorities(CURL*, void* context, void*) noexcept {
    X509_STORE* store = SharedCertificateStore();
    if (!store)
        return CURLE_SSL_CERTPROBLEM;
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(context), store);
    return CURLE_OK;
}

void Configure(CURL* easy, const std::string& url, const std::string& form, curl_slist* headers,
               Receiver& receiver, int timeoutMs) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, UseOurAuthorities);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Varnocle");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &receiver);
}

} // namespace

int CGHttpsClient::PostForm(const std::string& url, const std::string& form, CGHttpsReply& reply) {
    reply = CGHttpsReply();
    StartCurl();
    if (Cancelled)
        return HttpsCancelled;
    std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiFree> multi(curl_multi_init());
    std::unique_ptr<curl_slist, ListFree> headers(
        curl_slist_append(nullptr, "Accept: application/json"));
    if (!easy || !multi || !headers)
        return HttpsFailed;
    Receiver receiver{&reply.Body, MaxBody};
    Configure(easy.get(), url, form, headers.get(), receiver, TimeoutMs);
    if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK)
        return HttpsFailed;
    {
        std::lock_guard<std::mutex> lock(Guard);
        Multi = multi.get();
    }
    // The multi interface rather than curl_easy_perform, so that Cancel() can wake the wait.
    int running = 1;
    while (!Cancelled && curl_multi_perform(multi.get(), &running) == CURLM_OK && running)
        curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    {
        std::lock_guard<std::mutex> lock(Guard);
        Multi = nullptr;
    }
    CURLcode result = CURLE_RECV_ERROR;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    curl_multi_remove_handle(multi.get(), easy.get());
    if (Cancelled)
        return HttpsCancelled;
    if (receiver.TooLarge)
        return HttpsTooLarge;
    if (running || result != CURLE_OK)
        return HttpsFailed;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &reply.Status);
    char* type = nullptr;
    if (curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        reply.ContentType = type;
    return HttpsDone;
}

void CGHttpsClient::Cancel() {
    Cancelled = true;
    std::lock_guard<std::mutex> lock(Guard);
    if (Multi)
        curl_multi_wakeup(static_cast<CURLM*>(Multi));
}
