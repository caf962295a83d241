// Test helpers for the SOAP builder and parser tests: schema validation of
// built envelopes through the offline validate-body tool, and parsing a
// reply text into a node tree that the test owns.
#ifndef TESTS_ONVIF_SOAP_TEST_UTIL_H
#define TESTS_ONVIF_SOAP_TEST_UTIL_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "xml/xml_node.h"

namespace soaptest
{

// Both tools the validator needs are on the PATH.
inline bool validator_available()
{
    return std::system(
               "command -v python3 >/dev/null 2>&1 && command -v xmllint >/dev/null 2>&1") == 0;
}

// Writes text to a fresh temporary file; its path ("" on failure).
inline std::string write_temp(const std::string &text)
{
    char tmpl[] = "/tmp/onvif_soap_XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return "";
    size_t off = 0;
    while (off < text.size()) {
        ssize_t n = write(fd, text.data() + off, text.size() - off);
        if (n <= 0) break;
        off += (size_t)n;
    }
    close(fd);
    return off == text.size() ? std::string(tmpl) : std::string();
}

// Runs validate-body on every envelope; exit status 0 when all are valid.
// The tool's messages go to *report.
inline int validate_envelopes(const std::vector<std::string> &envelopes, std::string *report)
{
    std::vector<std::string> files;
    std::string cmd = std::string("python3 ") + ONVIF_SCHEMA_DIR + "/tools/validate-body -q";
    for (const std::string &env : envelopes) {
        std::string path = write_temp(env);
        if (path.empty()) return -1;
        files.push_back(path);
        cmd += " " + path;
    }
    cmd += " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    int status = -1;
    if (p) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
            if (report) report->append(buf, n);
        status = pclose(p);
    }
    for (const std::string &f : files)
        unlink(f.c_str());
    return status;
}

// A parsed reply: keeps the text buffer alive as long as the tree.
class Reply
{
  public:
    explicit Reply(const std::string &xml) : buf_(xml.begin(), xml.end())
    {
        buf_.push_back('\0');
        root_ = xxx_hxml_parse(buf_.data(), (int)xml.size());
    }
    ~Reply()
    {
        if (root_) xml_node_del(root_);
    }
    Reply(const Reply &) = delete;
    Reply &operator=(const Reply &) = delete;

    XML_NODE *root() const { return root_; }
    XML_NODE *body() const { return xml_node_soap_get(root_, "s:Body"); }

  private:
    std::vector<char> buf_;
    XML_NODE *root_ = nullptr;
};

// A SOAP 1.2 envelope around body, with the envelope prefix given.
inline std::string envelope(const std::string &body, const std::string &prefix = "s")
{
    std::string open = prefix.empty() ? "" : prefix + ":";
    std::string decl = prefix.empty()
                           ? " xmlns=\"http://www.w3.org/2003/05/soap-envelope\""
                           : " xmlns:" + prefix + "=\"http://www.w3.org/2003/05/soap-envelope\"";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + open + "Envelope" + decl +
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\"><" +
           open + "Body>" + body + "</" + open + "Body></" + open + "Envelope>";
}

} // namespace soaptest

#endif
