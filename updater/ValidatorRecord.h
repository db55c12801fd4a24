#pragma once
// The record of the product in place: its SHA-256 and the validators (ETag, Last-Modified) of
// the response that brought those bytes, so that the next run can ask the server whether
// anything changed since instead of downloading the product again. The file is untrusted input:
// anything that is not exactly a record is no record.
//
// Format: ASCII lines, each ended by one LF, in this order, nothing before or after:
//   ombrix-validator 1
//   sha256 <64 lower-case hex digits>
//   etag <value>             (optional)
//   last-modified <value>    (optional; at least one of the two)
// A value is 1..kMaxValidatorChars printable ASCII characters (space included, not at either
// end), as the server sent it.
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

// A value the record can hold and a request can carry verbatim: nothing that could break a
// line or a header.
bool IsRecordableValidator(const std::wstring& value);

// The validators worth recording: each one recordable (others dropped); nothing when none is.
std::optional<Validators> RecordableValidators(const Validators& sent);

std::optional<ValidatorRecord> ParseValidatorRecord(const std::vector<std::uint8_t>& bytes);
// The record's bytes; its validators must be RecordableValidators' answer.
std::vector<std::uint8_t> FormatValidatorRecord(const ValidatorRecord& record);

// The conditions of a request for anything but what the validators name (lines ending in CRLF).
std::wstring ConditionalRequestHeaders(const Validators& validators);

}  // namespace ombrix::updater
