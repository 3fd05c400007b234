// A DLL with the faults the module file check exists to catch: it links the
// C++, GCC and thread run-times as DLLs, and exports a symbol beside the
// descriptor. Built only to be rejected.
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

extern "C" __declspec(dllexport) const int _mod_descrip[6] = {0, 0, 0, 0, 0, 0};

extern "C" __declspec(dllexport) int extraSymbol(const char *text) {
    const std::string copy(text);
    if (copy.empty()) {
        throw std::invalid_argument("empty text");
    }
    const std::size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    return static_cast<int>(copy.size() + thread % 2);
}
