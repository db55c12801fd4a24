#include "updater/InstallFiles.h"

#include "updater/Controls.h"

namespace ombrix::updater {

InstallFiles InstallFilesOf(Services& s) {
    const std::wstring base = s.folder.path() + L"\\" + s.form1.text(form1::Label7);
    return {base, base + L".exe", base + L".exe.update-new", base + L".exe.update-old"};
}

}  // namespace ombrix::updater
