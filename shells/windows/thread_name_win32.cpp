#include <windows.h>

#include <string>

#include "audio/thread_name.h"

namespace audio {

void nameCurrentThread(const char* name) {
    // Looked up rather than imported: Windows before 10 has no thread names,
    // and the program must still start there.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    auto setDescription = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
    if (setDescription == nullptr) return;
    std::wstring wide(name, name + std::char_traits<char>::length(name));
    setDescription(GetCurrentThread(), wide.c_str());
}

}  // namespace audio
