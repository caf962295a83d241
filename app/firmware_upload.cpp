// Firmware upload: login POST with libcurl's cookie engine, then a multipart
// upload of the firmware file carrying the login's first cookie.
#include "app/firmware_upload.h"

#include <curl/curl.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace
{

// Standard-output line, flushed at once so that it shows while the transfer runs.
void out(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void out(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    fflush(stdout);
}

// The camera's answer bodies are not echoed: the standard output carries the
// progress lines alone (the upload's HTTP status is judged, see upload()).
size_t discard_body(char *, size_t size, size_t nmemb, void *)
{
    return size * nmemb;
}

// libcurl's progress hook, called at least once a second while a request
// runs (also while it connects): a non-zero answer of the caller's
// cancelled() ends the request.
int progress(void *clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const FIRMWARE_UPLOAD *up = static_cast<const FIRMWARE_UPLOAD *>(clientp);
    return (up && up->cancelled && up->cancelled(up->ctx)) ? 1 : 0;
}

bool is_cancelled(const FIRMWARE_UPLOAD *up)
{
    return up->cancelled && up->cancelled(up->ctx);
}

// Options both requests share.
void set_common(CURL *curl, long timeout_s, const FIRMWARE_UPLOAD *up)
{
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, (long)FIRMWARE_CONNECT_TIMEOUT_S);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeout_s);
    // Several upload threads run at once: no signals for time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard_body);
    if (up->cancelled) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, up);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
}

// "uname2=<user>&passwd2=<password>", both URL-encoded.
std::string login_data(CURL *curl, const char *user, const char *password)
{
    std::string out = "uname2=";
    for (int i = 0; i < 2; i++) {
        const char *text = i == 0 ? user : password;
        if (text && text[0]) {
            char *escaped = curl_easy_escape(curl, text, 0);
            if (escaped) out += escaped;
            curl_free(escaped);
        }
        if (i == 0) out += "&passwd2=";
    }
    return out;
}

// A cookie line as the standard output shows it: the value (its last field)
// masked, since it opens the camera's web interface to whoever holds it.
std::string shown_cookie(const std::string &line)
{
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos || tab + 1 == line.size()) return line;
    return line.substr(0, tab + 1) + "******";
}

// The login data as the standard output shows it: the password masked.
std::string shown_login_data(const char *user, const char *password)
{
    std::string out = std::string("uname2=") + (user ? user : "") + "&passwd2=";
    if (password && password[0]) out += "******";
    return out;
}

// Login POST. Returns the first cookie line of the handle's cookie list (one
// cookie in the Netscape cookie-file form), empty when there is none or the
// login failed. The line is kept whole, whatever its length.
std::string login(const std::string &url, const FIRMWARE_UPLOAD *up, long *status)
{
    std::string cookie;
    *status = 0;
    CURL *curl = curl_easy_init();
    if (!curl) {
        out("curl_http_post curl init failed\n");
        return cookie;
    }
    // Copied by libcurl: the password does not outlive this call here.
    const std::string data = login_data(curl, up->user, up->password);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, data.c_str());
    // An empty cookie file name switches the cookie engine on for this handle
    // (received cookies can be listed) without reading or writing any file.
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    set_common(curl, (long)FIRMWARE_LOGIN_TIMEOUT_S, up);
    CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK) {
        out("curl_http_post error : %d\n", (int)rc);
    } else {
        out("curl_http_post over\n");
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
        struct curl_slist *cookies = nullptr;
        if (curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &cookies) == CURLE_OK && cookies) {
            if (cookies->data) cookie = cookies->data;
            curl_slist_free_all(cookies);
        }
    }
    curl_easy_cleanup(curl);
    return cookie;
}

// The multipart body: one part named "file" with the file's content; libcurl
// puts the file's base name into the part's filename and picks its content
// type. Null when the part cannot be built; *rc tells a file that cannot be
// read (CURLE_READ_ERROR) from other failures.
curl_mime *build_form(CURL *curl, const char *file, CURLcode *rc)
{
    *rc = CURLE_OUT_OF_MEMORY;
    curl_mime *mime = curl_mime_init(curl);
    if (!mime) return nullptr;
    curl_mimepart *part = curl_mime_addpart(mime);
    if (!part || curl_mime_name(part, "file") != CURLE_OK) {
        curl_mime_free(mime);
        return nullptr;
    }
    *rc = curl_mime_filedata(part, file);
    if (*rc != CURLE_OK) {
        curl_mime_free(mime);
        return nullptr;
    }
    return mime;
}

// The host of "http://host:port/path", "host:port" or "[v6]:port", lower case
// and without the port: a camera's pages may sit on another port or scheme.
std::string url_host(const std::string &text)
{
    std::string a = text;
    const size_t scheme = a.find("://");
    if (scheme != std::string::npos) a = a.substr(scheme + 3);
    const size_t end = a.find_first_of("/?#");
    if (end != std::string::npos) a.resize(end);
    const size_t at = a.rfind('@');
    if (at != std::string::npos) a = a.substr(at + 1);
    if (!a.empty() && a[0] == '[') {
        a = a.substr(0, a.find(']') + 1);
    } else {
        const size_t colon = a.find(':');
        if (colon != std::string::npos) a.resize(colon);
    }
    for (char &c : a)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return a;
}

// The upload succeeded when the camera answered 2xx, or redirected (as a
// web form does after a post) to a page of its own.
bool upload_accepted(CURL *curl, long status, const char *host)
{
    if (status >= 200 && status <= 299) return true;
    if (status < 300 || status > 399) return false;
    const char *location = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) != CURLE_OK || !location)
        return false;
    const std::string to(location);
    const bool web = to.compare(0, 7, "http://") == 0 || to.compare(0, 8, "https://") == 0;
    return web && !url_host(to).empty() && url_host(to) == url_host(host);
}

int upload(const std::string &url, const char *file, const std::string &cookie,
           const FIRMWARE_UPLOAD *up)
{
    CURL *curl = curl_easy_init();
    if (!curl) {
        out("curl_http_upload curl init failed\n");
        return -1;
    }
    CURLcode rc = CURLE_OK;
    curl_mime *mime = build_form(curl, file, &rc);
    if (!mime) {
        curl_easy_cleanup(curl);
        if (rc == CURLE_READ_ERROR) {
            // A missing or unreadable file fails the upload transfer before
            // anything is sent.
            out("curl_http_upload error : %d\n", (int)rc);
        } else {
            out("curl_formadd error.\n");
        }
        return -1;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    // Hands the login's cookie to this handle (its cookie engine starts with it).
    if (!cookie.empty()) curl_easy_setopt(curl, CURLOPT_COOKIELIST, cookie.c_str());
    set_common(curl, (long)FIRMWARE_UPLOAD_TIMEOUT_S, up);
    rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (up->http_status) *up->http_status = status;
    int result = -1;
    if (rc != CURLE_OK) {
        out("curl_http_upload error : %d\n", (int)rc);
    } else if (!upload_accepted(curl, status, up->host)) {
        // A camera that lets the transfer complete and then answers 404 or
        // 500 has not taken the image.
        out("curl_http_upload status : %ld\n", status);
    } else {
        result = 0;
        out("curl_http_upload over\n");
    }
    curl_easy_cleanup(curl);
    curl_mime_free(mime);
    return result;
}

} // namespace

namespace
{

size_t read_file(char *buffer, size_t size, size_t nitems, void *file)
{
    return fread(buffer, 1, size * nitems, static_cast<FILE *>(file));
}

// Rewinds for a request sent again (the answer to an authentication challenge).
int seek_file(void *file, curl_off_t offset, int origin)
{
    return fseeko(static_cast<FILE *>(file), (off_t)offset, origin) == 0 ? CURL_SEEKFUNC_OK
                                                                         : CURL_SEEKFUNC_FAIL;
}

} // namespace

extern "C" int firmware_upload_post(const char *upload_uri, const char *file, const char *user,
                                    const char *password, int (*cancelled)(void *ctx), void *ctx)
{
    if (!upload_uri || !file) return -1;
    out("URL: {%s}\n", upload_uri);
    out("filename: {%s}\n", file);
    FILE *f = fopen(file, "rb");
    if (!f || fseeko(f, 0, SEEK_END) != 0) {
        if (f) fclose(f);
        out("curl_http_upload error : %d\n", (int)CURLE_READ_ERROR);
        return -1;
    }
    const curl_off_t size = (curl_off_t)ftello(f);
    rewind(f);
    CURL *curl = curl_easy_init();
    if (!curl) {
        fclose(f);
        out("curl_http_upload curl init failed\n");
        return -1;
    }
    FIRMWARE_UPLOAD up = {upload_uri, file, user, password, cancelled, ctx, 0, nullptr};
    struct curl_slist *headers =
        curl_slist_append(nullptr, "Content-Type: application/octet-stream");
    curl_easy_setopt(curl, CURLOPT_URL, upload_uri);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_file);
    curl_easy_setopt(curl, CURLOPT_READDATA, f);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, seek_file);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, f);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, size);
    if (user && user[0]) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_DIGEST | CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, user);
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password ? password : "");
    }
    set_common(curl, (long)FIRMWARE_UPLOAD_TIMEOUT_S, &up);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    int result = -1;
    if (rc != CURLE_OK)
        out("curl_http_upload error : %d\n", (int)rc);
    else if (status < 200 || status > 299)
        out("curl_http_upload status : %ld\n", status);
    else {
        result = 0;
        out("curl_http_upload over\n");
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    fclose(f);
    return result;
}

extern "C" int firmware_upload_global_init(void)
{
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_ALL); });
    return result == CURLE_OK ? 0 : -1;
}

extern "C" int tiv_ipc_do_update(const char *host, const char *file)
{
    FIRMWARE_UPLOAD up = {host, file, nullptr, nullptr, nullptr, nullptr, 0, nullptr};
    return firmware_upload_run(&up);
}

extern "C" int firmware_upload_run(const FIRMWARE_UPLOAD *up)
{
    if (!up || !up->host || !up->file) return -1;
    const char *host = up->host;
    const char *file = up->file;

    std::string url = std::string("http://") + host + "/account/login";
    out("URL: {%s}\n", url.c_str());
    out("data: {%s}\n", shown_login_data(up->user, up->password).c_str());
    long status = 0;
    std::string cookie = login(url, up, &status);
    out("tiv_ipc_do_update cookie = %s\n", shown_cookie(cookie).c_str());
    if (up->stop_without_web_ui && status == 404) {
        out("tiv_ipc_do_update no web upgrade interface\n");
        return FIRMWARE_NO_WEB_UI;
    }
    if (is_cancelled(up)) {
        out("tiv_ipc_do_update cancelled\n");
        return -1;
    }

    url = std::string("http://") + host + "/api/sysConfig/uploadSystem";
    out("URL: {%s}\n", url.c_str());
    out("filename: {%s}\n", file);
    return upload(url, file, cookie, up);
}
