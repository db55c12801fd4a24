#pragma once
// The record a rollback leaves when it cannot put the old product back: download\B.rollback,
// naming the SHA-256 of the product that did not start. While the product holds exactly those
// bytes, the backup beside it is the last good copy, which the next run's repair puts back; a
// product with other bytes (installed by hand, say) leaves the record nothing to say.
//
// Format: ASCII, each line ended by one LF, nothing before or after:
//   ombrix-rollback 1
//   sha256 <64 lower-case hex digits>
// The file is untrusted input: only exactly the record of the product in place counts.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hashing.h"
#include "updater/Services.h"

namespace ombrix::updater {

// P\download\B.rollback
std::wstring RollbackRecordPath(Services& s);

std::vector<std::uint8_t> FormatRollbackRecord(const Sha256Digest& product);

// Records the product at `product` as the one that did not start, whole or not at all; false
// when it cannot be hashed or the record cannot be written.
bool RecordFailedRollback(Services& s, const std::wstring& product);

// Whether a record is there and names the very bytes now at `product`.
bool RollbackRecordNames(Services& s, const std::wstring& product);

}  // namespace ombrix::updater
