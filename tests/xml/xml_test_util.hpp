// Helpers shared by the XML tests: the test data files (exact heap copies of
// inputs are in tests/support/heap_text.h).
#ifndef TESTS_XML_XML_TEST_UTIL_HPP
#define TESTS_XML_XML_TEST_UTIL_HPP

#include "tests/support/heap_text.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

} // namespace xml_test

#endif
