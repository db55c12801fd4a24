#pragma once
// Reading an HTTP response's head: header values, the announced length, byte ranges and
// redirects. Shared by the transfer component and the updater's logic.
#include <cstdint>
#include <optional>
#include <string>

namespace ombrix {

// The value of the header `name` (letter case ignored) in raw CRLF-separated response headers
// whose first line is the status line; a repeated header's values joined by ", ", as HTTP reads
// them; "" when there is none.
std::wstring FindResponseHeader(const std::wstring& rawHeaders, const std::wstring& name);

// The announced body length: a text of decimal digits only; nothing for anything else.
std::optional<std::int64_t> ParseContentLength(const std::wstring& text);

// A Content-Length value as the response's framing: no header (no length), one length (also
// repeated unchanged, "N, N"), or unusable: anything else (a sign, other characters, a list of
// different lengths), after which the body's end cannot be told.
struct LengthField {
    bool usable = true;
    std::optional<std::int64_t> length;
};
LengthField ReadContentLength(const std::wstring& value);

// "bytes FIRST-LAST/TOTAL"; total is -1 for "*".
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = -1;
};
std::optional<ContentRange> ParseContentRange(const std::wstring& text);

// An HTTP date in its one preferred form, "Sun, 06 Nov 1994 08:49:37 GMT" (the form every current
// server sends), as seconds since 1970-01-01 00:00 UTC; nothing for any other text, a weekday
// that is not that date's, or a date before 1970.
std::optional<std::int64_t> ParseHttpDate(const std::wstring& text);

// Where a redirect response points (its Location, not yet resolved); nothing for any other
// response, and for a redirect without a Location, which then stands as the response.
std::optional<std::wstring> RedirectLocation(int status, const std::wstring& rawHeaders);

}  // namespace ombrix
