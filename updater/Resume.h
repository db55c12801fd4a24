#pragma once
// A body that broke off before its announced length goes on from the end of the download file,
// but only while the server can prove it is the same body; otherwise it starts again from
// byte 0. Two different files are never joined.
#include <cstdint>
#include <optional>
#include <string>

namespace ombrix::updater {

inline constexpr int kMaxResumes = 4;

// The pause before a resume, when `done` resumes came before it: 1, 2, 4, 8 s.
unsigned ResumePauseMs(int done);

// What identifies the body the download file holds, taken from the response it came with.
struct BodyIdentity {
    std::optional<std::int64_t> length;  // announced; a body without one is never resumed
    std::wstring etag;
    std::wstring lastModified;
};

// The value for If-Range: a strong entity tag, else the modification date; "" when there is
// neither (a weak tag "W/..." proves nothing about the bytes).
std::wstring IfRangeValidator(const BodyIdentity& body);

// The extra request headers of a resume with `onDisk` bytes in the file: the rest from there,
// on the condition that the body is still the same; none (the whole body again) when there is
// no validator or nothing on disk.
std::wstring ResumeRequestHeaders(const BodyIdentity& body, std::uint64_t onDisk);

// The head of a resume's response.
struct ResumeResponse {
    int status = 0;
    std::wstring contentRange;
    std::wstring etag;
    std::wstring lastModified;
};

enum class ResumeStep {
    Append,      // 206 with the rest of the same body: the file goes on
    Restart,     // 200: the whole body (the range was ignored, or the body changed)
    Incomplete,  // anything else: the download ends as incomplete
};

// What the response to a resume asked for with ResumeRequestHeaders(body, onDisk) means.
ResumeStep DecideResume(const BodyIdentity& body, std::uint64_t onDisk,
                        const ResumeResponse& response);

}  // namespace ombrix::updater
