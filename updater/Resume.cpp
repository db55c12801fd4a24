#include "updater/Resume.h"

#include "platform/decimal_text.h"
#include "platform/http_response.h"

namespace ombrix::updater {
namespace {

bool IsStrongTag(const std::wstring& etag) {
    return etag.size() >= 2 && etag.front() == L'"' && etag.back() == L'"';
}

}  // namespace

unsigned ResumePauseMs(int done) {
    return 1000u << (done < 0 ? 0 : done > 3 ? 3 : done);
}

std::wstring IfRangeValidator(const BodyIdentity& body) {
    if (IsStrongTag(body.etag)) {
        return body.etag;
    }
    return body.lastModified;
}

std::wstring ResumeRequestHeaders(const BodyIdentity& body, std::uint64_t onDisk) {
    const std::wstring validator = IfRangeValidator(body);
    if (validator.empty() || onDisk == 0 || !body.length) {
        return {};
    }
    return L"Range: bytes=" + DecimalText(static_cast<long long>(onDisk)) + L"-\r\nIf-Range: " +
           validator + L"\r\n";
}

ResumeStep DecideResume(const BodyIdentity& body, std::uint64_t onDisk,
                        const ResumeResponse& response) {
    if (response.status == 200) {
        return ResumeStep::Restart;
    }
    if (response.status != 206 || ResumeRequestHeaders(body, onDisk).empty()) {
        return ResumeStep::Incomplete;
    }
    const std::optional<ContentRange> range = ParseContentRange(response.contentRange);
    const std::int64_t length = *body.length;
    if (!range || range->first != static_cast<std::int64_t>(onDisk) || range->last != length - 1 ||
        (range->total >= 0 && range->total != length)) {
        return ResumeStep::Incomplete;
    }
    // A server that honours the range but not the condition could hand over another body's
    // rest: where the response names its body, it must name the same one.
    if (IsStrongTag(body.etag)
            ? !response.etag.empty() && response.etag != body.etag
            : !response.lastModified.empty() && response.lastModified != body.lastModified) {
        return ResumeStep::Incomplete;
    }
    return ResumeStep::Append;
}

}  // namespace ombrix::updater
