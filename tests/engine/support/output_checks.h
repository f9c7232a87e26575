// Reporting for the plain output test programs (the engine's tests link no
// test framework): every failed check prints its place, the case and why;
// main() returns exitCode().
#pragma once

#include <cstdio>
#include <source_location>
#include <string>

namespace tarn::test {

class Checks {
public:
    // Records `ok`; prints `what` with the caller's line when it is false.
    bool expect(bool ok, const std::string &what,
                std::source_location where = std::source_location::current())
    {
        ++count_;
        if (!ok) {
            ++failed_;
            std::fprintf(stderr, "FAIL %s:%u: %s\n", where.file_name(),
                         static_cast<unsigned>(where.line()), what.c_str());
        }
        return ok;
    }
    int exitCode() const
    {
        std::fprintf(stderr, "%d checks, %d failed\n", count_, failed_);
        return failed_ == 0 && count_ > 0 ? 0 : 1;
    }

private:
    int count_ = 0;
    int failed_ = 0;
};

// printf into a std::string, for the messages of failed checks.
template <typename... Args> std::string fmt(const char *format, Args... args)
{
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

} // namespace tarn::test
