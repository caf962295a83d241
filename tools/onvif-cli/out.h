// onvif-cli output: every command builds its result as one value tree and
// prints it as JSON, as CSV (a list of flat records) or as text for people.
#ifndef TOOLS_ONVIF_CLI_OUT_H
#define TOOLS_ONVIF_CLI_OUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace cli
{

enum class Format { Text, Json, Csv };

class Value
{
  public:
    enum class Kind { Null, Bool, Int, Text, List, Record };

    Value() = default;
    Value(bool b) : kind_(Kind::Bool), int_(b ? 1 : 0) {}
    Value(int i) : kind_(Kind::Int), int_(i) {}
    Value(int64_t i) : kind_(Kind::Int), int_(i) {}
    Value(const char *s) : kind_(Kind::Text), text_(s ? s : "") {}
    Value(std::string s) : kind_(Kind::Text), text_(std::move(s)) {}

    static Value list() { return Value(Kind::List); }
    static Value record() { return Value(Kind::Record); }

    // Records keep their members in the order they were set.
    Value &set(const std::string &key, Value v);
    Value &add(Value v); // appends to a list

    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == Kind::Null; }
    bool boolean() const { return int_ != 0; }
    int64_t integer() const { return int_; }
    const std::string &text() const { return text_; }
    const std::vector<Value> &items() const { return items_; }
    const std::vector<std::pair<std::string, Value>> &members() const { return members_; }
    const Value *get(const std::string &key) const;

  private:
    explicit Value(Kind k) : kind_(k) {}

    Kind kind_ = Kind::Null;
    int64_t int_ = 0;
    std::string text_;
    std::vector<Value> items_;
    std::vector<std::pair<std::string, Value>> members_;
};

// JSON text of v: pretty (two-space indent, one member per line) or on one
// line. Bytes that are not UTF-8 become U+FFFD, so the output always parses.
std::string to_json(const Value &v, bool pretty);

// CSV (RFC 4180) of a list of records: a header of the first record's keys,
// then one row per record; lists inside are joined with blanks.
std::string to_csv(const Value &list);

// Text for people: "key: value" lines, nested records indented, the records
// of a list separated by blank lines.
std::string to_text(const Value &v);

// Prints v to standard output in the format asked for.
void print(const Value &v, Format format);

} // namespace cli

#endif
