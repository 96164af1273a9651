// Reads back from an exe what Windows shows in its Properties dialog, the
// way Windows itself gets it (version.dll), and its embedded manifest.
//   qh_resource_probe EXE MANIFEST_OUT
// Prints one NAME=VALUE line per field and writes the manifest's bytes to
// MANIFEST_OUT. Exits with 1 when a field or the manifest is missing.
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The string fields of the version resource that the release promises.
constexpr std::array<const char*, 7> kStringFields{
    "CompanyName",      "FileDescription", "FileVersion",   "LegalCopyright",
    "OriginalFilename", "ProductName",     "ProductVersion"};

std::string dotted(DWORD most, DWORD least) {
    return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." +
           std::to_string(HIWORD(least)) + "." + std::to_string(LOWORD(least));
}

// Prints the version fields; false when one is missing.
bool print_version_info(const char* exe) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
    if (size == 0) {
        std::printf("VersionInfo=missing (error %lu)\n", GetLastError());
        return false;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(exe, 0, size, data.data())) {
        std::printf("VersionInfo=unreadable (error %lu)\n", GetLastError());
        return false;
    }

    bool complete = true;
    void* found = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", &found, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);
        std::printf("FixedFileVersion=%s\n",
                    dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str());
        std::printf("FixedProductVersion=%s\n",
                    dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
    } else {
        std::printf("FixedFileInfo=missing\n");
        complete = false;
    }

    // The strings live under the first language and code page the resource
    // lists, as Explorer reads them.
    struct Translation {
        WORD language;
        WORD code_page;
    };
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &found, &length) ||
        length < sizeof(Translation)) {
        std::printf("Translation=missing\n");
        return false;
    }
    const auto* translation = static_cast<const Translation*>(found);
    std::printf("Translation=%04x%04x\n", translation->language, translation->code_page);
    for (const char* field : kStringFields) {
        char query[128];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                      translation->code_page, field);
        if (VerQueryValueA(data.data(), query, &found, &length) && length > 0) {
            std::printf("%s=%s\n", field, static_cast<const char*>(found));
        } else {
            std::printf("%s=missing\n", field);
            complete = false;
        }
    }
    return complete;
}

// Writes the manifest resource (the one the loader reads at process start)
// to `out_path`; false when there is none.
bool write_manifest(const char* exe, const char* out_path) {
    HMODULE image =
        LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) {
        std::printf("Manifest=unreadable (error %lu)\n", GetLastError());
        return false;
    }
    bool written = false;
    const HRSRC resource = FindResourceA(image, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    const HGLOBAL loaded = resource != nullptr ? LoadResource(image, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
        const DWORD size = SizeofResource(image, resource);
        if (FILE* out = std::fopen(out_path, "wb")) {
            written = std::fwrite(bytes, 1, size, out) == size;
            written = std::fclose(out) == 0 && written;
        }
        std::printf("Manifest=%lu bytes\n", size);
    } else {
        std::printf("Manifest=missing\n");
    }
    FreeLibrary(image);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qh_resource_probe EXE MANIFEST_OUT\n");
        return 2;
    }
    const bool version_info = print_version_info(argv[1]);
    const bool manifest = write_manifest(argv[1], argv[2]);
    return version_info && manifest ? 0 : 1;
}
