// The unpacker at the front of the packed intro.exe: it maps the small
// intro's memory image at the image's own base (the image has no relocation
// table), decompresses it there, binds its imports with LoadLibraryA and
// GetProcAddress as the loader would, and enters it. No run-time.
#include <windows.h>

#include "exepack/lzma_decoder.h"
#include "payload_layout.h"

// The compressed image, and its settings: what the build gave xz.
__asm__(".section .rdata,\"dr\"\n"
        ".globl _payload\n.globl _payloadEnd\n"
        "_payload:\n.incbin \"" INTRO_PAYLOAD "\"\n_payloadEnd:\n"
        ".text\n");
extern "C" const uint8_t payload[];
extern "C" const uint8_t payloadEnd[];
constexpr LzmaProperties kPayloadProperties{3, 0, 2};

namespace {

[[noreturn]] void fail() {
    MessageBoxA(nullptr, "The intro could not be unpacked.", "intro", MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

void bindImports(uint8_t* base) {
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + kImportRva); d->Name != 0; ++d) {
        HMODULE module = LoadLibraryA(reinterpret_cast<const char*>(base + d->Name));
        if (module == nullptr) fail();
        const uint32_t lookup = d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + lookup);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            const DWORD entry = names->u1.AddressOfData;
            const char* name = IMAGE_SNAP_BY_ORDINAL32(entry)
                                   ? reinterpret_cast<const char*>(uintptr_t(IMAGE_ORDINAL32(entry)))
                                   : reinterpret_cast<const char*>(base + entry + 2);  // after the hint
            const FARPROC function = GetProcAddress(module, name);
            if (function == nullptr) fail();
            slots->u1.Function = DWORD(uintptr_t(function));
        }
    }
}

}  // namespace

// Where the image goes: zero-initialised data of this file's own, which the
// loader maps for certain and which costs nothing in the file. The image is
// linked at a base inside it (the build checks that it fits).
constexpr uint32_t kImageArea = 8u << 20;
uint8_t imageArea[kImageArea];

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void stubEntry() {
    auto* base = reinterpret_cast<uint8_t*>(uintptr_t(kImageBase));
    if (base + kPayloadRva < imageArea || base + kImageSize > imageArea + kImageArea) fail();
    // Data pages are not executable: the image's code will be there.
    DWORD previous = 0;
    if (!VirtualProtect(base + kPayloadRva, kImageSize - kPayloadRva, PAGE_EXECUTE_READWRITE, &previous)) fail();
    // The decoder's table from the system as well.
    auto* probabilities = static_cast<uint16_t*>(VirtualAlloc(
        nullptr, lzmaProbabilityCount(kPayloadProperties) * sizeof(uint16_t), MEM_COMMIT, PAGE_READWRITE));
    if (probabilities == nullptr ||
        !lzmaDecode(payload, uint32_t(payloadEnd - payload), base + kPayloadRva, kPayloadSize, kPayloadProperties,
                    probabilities))
        fail();
    bindImports(base);
    reinterpret_cast<void (*)()>(base + kEntryRva)();
    ExitProcess(0);
}
