#include "tools/onvif-cli/out.h"

#include <cstdio>

namespace cli
{

Value &Value::set(const std::string &key, Value v)
{
    kind_ = Kind::Record;
    for (auto &m : members_)
        if (m.first == key) {
            m.second = std::move(v);
            return *this;
        }
    members_.emplace_back(key, std::move(v));
    return *this;
}

Value &Value::add(Value v)
{
    kind_ = Kind::List;
    items_.push_back(std::move(v));
    return *this;
}

const Value *Value::get(const std::string &key) const
{
    for (const auto &m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

namespace
{

// Length of the well-formed UTF-8 sequence at s[i] (1..4), 0 when there is none.
size_t utf8_len(const std::string &s, size_t i)
{
    const auto b = [&](size_t k) { return (unsigned char)s[k]; };
    const unsigned char c = b(i);
    size_t n;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4;
    else
        return 0;
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if (c == 0xE0 && b(i + 1) < 0xA0) return 0;
    if (c == 0xED && b(i + 1) > 0x9F) return 0;
    if (c == 0xF0 && b(i + 1) < 0x90) return 0;
    if (c == 0xF4 && b(i + 1) > 0x8F) return 0;
    return n;
}

void json_string(std::string &out, const std::string &s)
{
    out += '"';
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = (unsigned char)s[i];
        if (c >= 0x80) {
            const size_t n = utf8_len(s, i);
            if (n == 0) {
                out += "\\ufffd";
                i++;
            } else {
                out.append(s, i, n);
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                snprintf(buf, sizeof(buf), "\\u%04x", c);
                out += buf;
            } else {
                out += (char)c;
            }
        }
        i++;
    }
    out += '"';
}

void json_value(std::string &out, const Value &v, bool pretty, int depth)
{
    const std::string pad = pretty ? std::string((size_t)(depth + 1) * 2, ' ') : "";
    const std::string end_pad = pretty ? std::string((size_t)depth * 2, ' ') : "";
    const char *nl = pretty ? "\n" : "";
    switch (v.kind()) {
    case Value::Kind::Null:
        out += "null";
        break;
    case Value::Kind::Bool:
        out += v.boolean() ? "true" : "false";
        break;
    case Value::Kind::Int:
        out += std::to_string(v.integer());
        break;
    case Value::Kind::Text:
        json_string(out, v.text());
        break;
    case Value::Kind::List:
        if (v.items().empty()) {
            out += "[]";
            break;
        }
        out += '[';
        out += nl;
        for (size_t i = 0; i < v.items().size(); i++) {
            out += pad;
            json_value(out, v.items()[i], pretty, depth + 1);
            if (i + 1 < v.items().size()) out += ',';
            out += nl;
        }
        out += end_pad + "]";
        break;
    case Value::Kind::Record:
        if (v.members().empty()) {
            out += "{}";
            break;
        }
        out += '{';
        out += nl;
        for (size_t i = 0; i < v.members().size(); i++) {
            out += pad;
            json_string(out, v.members()[i].first);
            out += pretty ? ": " : ":";
            json_value(out, v.members()[i].second, pretty, depth + 1);
            if (i + 1 < v.members().size()) out += ',';
            out += nl;
        }
        out += end_pad + "}";
        break;
    }
}

// A scalar (or a list of scalars) as one text; records as JSON.
std::string flat(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Null:
        return "";
    case Value::Kind::Bool:
        return v.boolean() ? "true" : "false";
    case Value::Kind::Int:
        return std::to_string(v.integer());
    case Value::Kind::Text:
        return v.text();
    case Value::Kind::List: {
        std::string s;
        for (const auto &item : v.items()) {
            if (!s.empty()) s += ' ';
            s += flat(item);
        }
        return s;
    }
    case Value::Kind::Record:
        return to_json(v, false);
    }
    return "";
}

std::string csv_field(const std::string &s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool scalar_list(const Value &v)
{
    for (const auto &item : v.items())
        if (item.kind() == Value::Kind::List || item.kind() == Value::Kind::Record) return false;
    return true;
}

void text_value(std::string &out, const Value &v, int depth);

void text_record(std::string &out, const Value &v, int depth)
{
    const std::string pad((size_t)depth * 2, ' ');
    for (const auto &m : v.members()) {
        const Value &mv = m.second;
        const bool nested = mv.kind() == Value::Kind::Record ||
                            (mv.kind() == Value::Kind::List && !scalar_list(mv));
        if (nested && !(mv.kind() == Value::Kind::List && mv.items().empty())) {
            out += pad + m.first + ":\n";
            text_value(out, mv, depth + 1);
        } else {
            const std::string text = flat(mv);
            out += pad + m.first + ": " + (text.empty() ? "-" : text) + "\n";
        }
    }
}

void text_value(std::string &out, const Value &v, int depth)
{
    const std::string pad((size_t)depth * 2, ' ');
    if (v.kind() == Value::Kind::Record) {
        text_record(out, v, depth);
    } else if (v.kind() == Value::Kind::List) {
        for (size_t i = 0; i < v.items().size(); i++) {
            const Value &item = v.items()[i];
            if (item.kind() == Value::Kind::Record) {
                if (i > 0 && depth == 0) out += "\n";
                text_record(out, item, depth);
                if (depth > 0 && i + 1 < v.items().size()) out += pad + "--\n";
            } else {
                out += pad + "- " + flat(item) + "\n";
            }
        }
    } else {
        out += pad + flat(v) + "\n";
    }
}

} // namespace

std::string to_json(const Value &v, bool pretty)
{
    std::string out;
    json_value(out, v, pretty, 0);
    return out;
}

std::string to_csv(const Value &list)
{
    std::string out;
    if (list.items().empty()) return out;
    std::vector<std::string> keys;
    for (const auto &m : list.items()[0].members())
        keys.push_back(m.first);
    for (size_t i = 0; i < keys.size(); i++)
        out += (i ? "," : "") + csv_field(keys[i]);
    out += "\r\n";
    for (const auto &rec : list.items()) {
        for (size_t i = 0; i < keys.size(); i++) {
            const Value *v = rec.get(keys[i]);
            out += (i ? "," : "") + csv_field(v ? flat(*v) : "");
        }
        out += "\r\n";
    }
    return out;
}

std::string to_text(const Value &v)
{
    std::string out;
    text_value(out, v, 0);
    return out;
}

void print(const Value &v, Format format)
{
    std::string s;
    switch (format) {
    case Format::Json:
        s = to_json(v, true) + "\n";
        break;
    case Format::Csv:
        s = to_csv(v);
        break;
    case Format::Text:
        s = to_text(v);
        break;
    }
    fwrite(s.data(), 1, s.size(), stdout);
    fflush(stdout);
}

} // namespace cli
