// Takes the documents' pictures: plays the scenarios of scripts/screenshots.txt
// against the real program under Wine, as the end-to-end test does, and saves
// what each "shot" step shows, and a drag under way, as BMP files.
//
//   torvane_screenshots.exe <scenario file> <out folder>      (TORVANE_EXE: the program)
//
// scripts/screenshots.sh runs it and turns the pictures into PNG files.
#include "wine/e2e/wine_platform.h"

namespace {

// Saves the screen's part under `r` as a 24-bit BMP file, with `cursor`
// drawn in at `at` (the screen holds no cursor).
void SaveShot(const RECT& r, const std::string& path, HCURSOR cursor = nullptr, POINT at = {}) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ICONINFO hot{};
    if (cursor != nullptr && ::GetIconInfo(cursor, &hot)) {
        ::DrawIconEx(memory, at.x - static_cast<int>(hot.xHotspot) - r.left, at.y - static_cast<int>(hot.yHotspot) - r.top,
                     cursor, 0, 0, 0, nullptr, DI_NORMAL);
        ::DeleteObject(hot.hbmMask);
        if (hot.hbmColor) ::DeleteObject(hot.hbmColor);
    }
    BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(static_cast<std::size_t>((w * 3 + 3) / 4 * 4) * h, '\0');
    ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{0x4D42 /* "BM" */, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
    WriteFileBytes(path, std::string(reinterpret_cast<const char*>(&file), sizeof file) +
                             std::string(reinterpret_cast<const char*>(&info), sizeof info) + pixels);
}

// The platform with a camera: "shot <name> [screen]" takes the dialog in
// front (or the whole screen); a drag is taken under way, with the pick cursor.
class Camera final : public Wine {
public:
    explicit Camera(std::string folder) : folder_(std::move(folder)) {}

    bool Extra(const Step& step) override {
        if (step.words[0] != "shot") return Wine::Extra(step);
        RECT r = WindowRect(dialog());
        ::InflateRect(&r, 12, 12);
        if (step.words.size() > 2) ::GetWindowRect(::GetDesktopWindow(), &r);
        Picture(step.words.at(1), r, nullptr);
        return true;
    }

private:
    void Picture(const std::string& name, const RECT& area, const POINT* cursor) override {
        HMODULE program = ::LoadLibraryExA(g_torvane.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        SaveShot(area, folder_ + "\\" + name + ".bmp", cursor ? ::LoadCursorA(program, "IDC_POINTER") : nullptr,
                 cursor ? *cursor : POINT{});
        ::FreeLibrary(program);
    }
    std::string folder_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <scenario file> <out folder>\n", argv[0]);
        return 2;
    }
    try {
        for (const Scenario& scenario : LoadScenarios(WinePath(argv[1]))) {
            Camera camera(WinePath(argv[2]));
            Player player(camera);
            try {
                player.Play(scenario.steps);
                camera.Finish();
            } catch (const Failure& f) {
                std::fprintf(stderr, "%s: %s\n", player.where().c_str(), f.message.c_str());
                return 1;
            }
        }
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.message.c_str());
        return 2;
    }
    return 0;
}
