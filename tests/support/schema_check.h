// Test support: collects XML documents (SOAP envelopes or body elements) in a
// temporary folder and validates them all with one run of the offline ONVIF
// schema tool, tools/validate-body of the schema set. The schema set lives
// next to the repository (../shared/onvif-schema, ONVIF_SCHEMA_DIR); where it,
// python3 or xmllint is missing, the tests that need it skip and say so.
#ifndef TESTS_SUPPORT_SCHEMA_CHECK_H
#define TESTS_SUPPORT_SCHEMA_CHECK_H

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

class SchemaCheck
{
  public:
    explicit SchemaCheck(const std::string &schema_dir) : tool_(schema_dir + "/tools/validate-body")
    {
        char tmpl[] = "/tmp/schema_check_XXXXXX";
        if (mkdtemp(tmpl)) dir_ = tmpl;
    }
    ~SchemaCheck()
    {
        if (dir_.empty()) return;
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir_.c_str());
    }
    SchemaCheck(const SchemaCheck &) = delete;
    SchemaCheck &operator=(const SchemaCheck &) = delete;

    // Why documents cannot be validated here ("" when they can): the schema
    // set, python3 or xmllint is missing.
    std::string unavailable() const
    {
        struct stat sb;
        if (stat(tool_.c_str(), &sb) != 0) return "no " + tool_;
        if (system("command -v python3 >/dev/null 2>&1 && command -v xmllint >/dev/null 2>&1") != 0)
            return "python3 or xmllint missing";
        if (dir_.empty()) return "no temporary folder";
        return std::string();
    }

    // Adds a document; name (letters, digits, '.', '-', '_') shows in messages.
    void add(const std::string &name, const std::string &xml)
    {
        std::string path = dir_ + "/" + name + ".xml";
        std::ofstream(path, std::ios::binary) << xml;
        files_.push_back(path);
    }
    size_t count() const { return files_.size(); }

    // Validates every document added; true when all are valid. output gets
    // the tool's messages (naming each invalid file).
    bool run(std::string &output) const
    {
        if (files_.empty()) return true;
        std::string cmd = "python3 '" + tool_ + "' -q";
        for (const std::string &f : files_)
            cmd += " '" + f + "'";
        cmd += " 2>&1";
        FILE *p = popen(cmd.c_str(), "r");
        if (!p) return false;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            output.append(buf, n);
        return pclose(p) == 0;
    }

  private:
    std::string tool_, dir_;
    std::vector<std::string> files_;
};

#ifdef ONVIF_SCHEMA_DIR

// Why schema validation cannot run here ("" when it can).
inline std::string schema_unavailable()
{
    return SchemaCheck(ONVIF_SCHEMA_DIR).unavailable();
}

// Validates every document in one run; 0 when all are valid, the tool's
// messages (naming each invalid file) in *report.
inline int validate_envelopes(const std::vector<std::string> &docs, std::string *report)
{
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    for (size_t i = 0; i < docs.size(); i++)
        check.add("doc" + std::to_string(i), docs[i]);
    std::string out;
    bool ok = check.run(out);
    if (report) *report += out;
    return ok ? 0 : 1;
}

// Expects every document valid; the tool's messages when one is not.
inline void expect_valid(const std::vector<std::string> &docs)
{
    std::string report;
    EXPECT_EQ(validate_envelopes(docs, &report), 0) << report;
}

// Skips the current test, with the reason, when the schemas cannot be used.
#define SKIP_WITHOUT_SCHEMAS()                                                                     \
    do {                                                                                           \
        std::string why_ = schema_unavailable();                                                   \
        if (!why_.empty())                                                                         \
            GTEST_SKIP() << "skipped, no schema validation here (" << why_                         \
                         << "): it needs the ONVIF schema set at " ONVIF_SCHEMA_DIR                \
                            " (../shared next to the repository), python3 and xmllint";            \
    } while (0)

#endif

#endif
