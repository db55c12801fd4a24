#pragma once
// The record, in the download folder, of the product a run left in place, and what a run does
// with it: a first request that asks only for something else, and a new record at the end.
#include <optional>
#include <string>

#include "updater/Services.h"
#include "updater/ValidatorRecord.h"

namespace ombrix::updater {

struct InstalledRecord {
    std::wstring path;     // P\download\B.validator
    std::wstring product;  // P\B.exe
    // The first request asked for anything but the recorded product, which is the one in place.
    bool asked = false;
    // The validators of the response whose body the download holds, and its Date; set once a
    // body is taken.
    std::optional<Validators> delivered;
    std::wstring deliveredDate;
};

// The record and the product of this folder, named after the product's file base name.
InstalledRecord InstalledRecordOf(Services& s);

// The conditions of the first request, from a sound record of the very bytes now installed;
// none otherwise (no record, a damaged one, or a product changed since), so that the run never
// calls a product the newest that it has not seen.
std::wstring QuietRequestHeaders(Services& s, InstalledRecord& record);

// At the end of a run with the newest product in place: records that product under the
// validators of the response its bytes came with, whole or not at all; without validators the
// record goes. A run that took no body (the server said nothing changed) leaves it as it is.
void RecordInstalled(Services& s, const InstalledRecord& record);

}  // namespace ombrix::updater
