#include "updater/InstallFiles.h"

#include "updater/Controls.h"

namespace ombrix::updater {

std::wstring ProductFileName(Services& s) {
    return s.form1.text(form1::Label7) + L".exe";
}

InstallFiles InstallFilesOf(Services& s) {
    const std::wstring folder = s.folder.path() + L"\\";
    const std::wstring product = folder + ProductFileName(s);
    const std::wstring base = s.form1.text(form1::Label7);
    return {folder + base, product, product + L".update-new", product + L".update-old",
            folder + L"download\\" + base + L".delta"};
}

}  // namespace ombrix::updater
