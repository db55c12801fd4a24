#pragma once
// The record of the product in place: its SHA-256 and the validators (ETag, Last-Modified) of
// the response that brought those bytes, so that the next run can ask the server whether
// anything changed since instead of downloading the product again. The file is untrusted input:
// anything that is not exactly a record is no record.
//
// Format: ASCII lines, each ended by one LF, in this order, nothing before or after:
//   ombrix-validator 1
//   sha256 <64 lower-case hex digits>
//   etag "<opaque tag>"       (optional; one strong entity tag)
//   last-modified <HTTP date> (optional; "Sun, 06 Nov 1994 08:49:37 GMT"; at least one of the two)
// Only validators that name one body are kept: a weak tag, "*" or a list would match any body,
// and a date in the future any later publication, so that one such answer would end every later
// run at a 304 while newer releases wait on the server.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/hashing.h"

namespace ombrix::updater {

inline constexpr std::size_t kMaxValidatorChars = 256;
// No record is longer; a longer file is no record.
inline constexpr std::size_t kMaxRecordBytes = 1024;

// A response's validators, as sent; empty when the response had none.
struct Validators {
    std::wstring etag;
    std::wstring lastModified;
};

struct ValidatorRecord {
    Sha256Digest product{};
    Validators validators;
};

// One strong entity tag: `"` opaque characters `"` (no W/, no "*", no list), at most
// kMaxValidatorChars in all; it is carried verbatim, so nothing in it can break a line or a header.
bool IsStrongEntityTag(const std::wstring& value);

// The validators worth recording, each checked (others dropped): a strong tag, and a valid
// HTTP date no later than the response's own Date (or, where that is no valid date, than
// `nowSeconds`, the local clock); nothing when neither is left.
std::optional<Validators> RecordableValidators(const Validators& sent,
                                               const std::wstring& responseDate,
                                               std::int64_t nowSeconds);

// What of a record's validators a request may still ask with: a date later than `nowSeconds`
// (a record written before dates were checked) is dropped; nothing when nothing is left.
std::optional<Validators> UsableValidators(const Validators& recorded, std::int64_t nowSeconds);

std::optional<ValidatorRecord> ParseValidatorRecord(const std::vector<std::uint8_t>& bytes);
// The record's bytes; its validators must be RecordableValidators' answer.
std::vector<std::uint8_t> FormatValidatorRecord(const ValidatorRecord& record);

// The conditions of a request for anything but what the validators name (lines ending in CRLF).
std::wstring ConditionalRequestHeaders(const Validators& validators);

}  // namespace ombrix::updater
