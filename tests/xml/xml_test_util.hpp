// Helpers shared by the XML tests: test data files, log capture, and
// exactly-sized heap copies of inputs (so AddressSanitizer sees any read or
// write outside them).
#ifndef TESTS_XML_XML_TEST_UTIL_HPP
#define TESTS_XML_XML_TEST_UTIL_HPP

#include "tests/support/log_capture.h"
#include "platform/sys_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace xml_test
{

inline std::string data_dir()
{
    const char *env = std::getenv("ONVIF_TEST_DATA");
    if (env && *env) return std::string(env) + "/data";
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    return (slash == std::string::npos ? std::string(".") : here.substr(0, slash)) + "/data";
}

// Contents of a file under tests/xml/data; empty when it can't be read.
inline std::string read_data(const std::string &name)
{
    std::ifstream in(data_dir() + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Heap copy of exactly text.size() bytes, plus one NUL when with_nul is set.
struct HeapText {
    std::unique_ptr<char[]> buf;
    int len = 0;
    HeapText(const std::string &text, size_t n, bool with_nul)
        : buf(new char[n + (with_nul ? 1 : 0)]), len((int)n)
    {
        if (n) std::memcpy(buf.get(), text.data(), n);
        if (with_nul) buf[n] = '\0';
    }
    HeapText(const std::string &text, bool with_nul = true) : HeapText(text, text.size(), with_nul)
    {
    }
    char *data() { return buf.get(); }
};

using LogCapture = ::LogCapture;

} // namespace xml_test

#endif
