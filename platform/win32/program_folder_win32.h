#pragma once
#include "platform/program_folder.h"

namespace ombrix {

class Win32ProgramFolder : public ProgramFolder {
  public:
    std::wstring path() override;
};

}  // namespace ombrix
