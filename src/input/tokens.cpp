#include "input/tokens.hpp"

#include <cstdlib>
#include <cstring>

#include "core/context.hpp"
#include "input/numbers.hpp"
#include "input/replace.hpp"

namespace torva {

bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == '\n';
}

namespace {
void skip_separators(std::string_view& s) {
    std::size_t i = 0;
    while (i < s.size() && is_separator(s[i])) ++i;
    s.remove_prefix(i);
}
}  // namespace

bool Tokens::empty() const {
    for (char c : rest_)
        if (!is_separator(c))
            return false;
    return true;
}

bool Tokens::text(std::string& token) {
    token.clear();
    skip_separators(rest_);
    if (rest_.empty())
        return false;
    if (rest_.front() == '"') {
        const std::size_t close = rest_.find('"', 1);
        const std::size_t end = close == std::string_view::npos ? rest_.size() : close;
        token.assign(rest_.substr(1, end - 1));
        rest_.remove_prefix(close == std::string_view::npos ? rest_.size() : close + 1);
    } else {
        std::size_t end = 0;
        while (end < rest_.size() && !is_separator(rest_[end])) ++end;
        token.assign(rest_.substr(0, end));
        rest_.remove_prefix(end);
    }
    skip_separators(rest_);
    return true;
}

double Tokens::real() {
    std::string token;
    if (!text(token))
        return 0.0;
    return std::strtod(token.c_str(), nullptr);
}

int Tokens::integer() {
    std::string token;
    if (!text(token))
        return 0;
    return static_cast<int>(std::strtol(token.c_str(), nullptr, 10));
}

NumberFault Tokens::read(double& value) {
    std::string token;
    if (!text(token)) {
        value = 0.0;
        return NumberFault::missing;
    }
    return read_real(token, value);
}

NumberFault Tokens::read(int& value) {
    std::string token;
    if (!text(token)) {
        value = 0;
        return NumberFault::missing;
    }
    return read_integer(token, value);
}

bool Tokens::real(double& value) {
    return read(value) == NumberFault::none;
}

bool Tokens::integer(int& value) {
    return read(value) == NumberFault::none;
}

bool LineReader::next(std::string& line) {
    line.clear();
    if (!std::fgets(buffer_, kBufferSize, file_))
        return false;
    ++line_number_;
    std::size_t n = std::strlen(buffer_);
    if (n > 0 && buffer_[n - 1] == '\n')
        --n;
    line.assign(buffer_, n);
    if (ctx_.replacement.active)
        substitute_tags(ctx_, line, kBufferSize - 1);
    return true;
}

}  // namespace torva
