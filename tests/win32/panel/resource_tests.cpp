// The program's own resources as the built QorvelGen.exe holds them: the
// panel's dialog template (read field by field, not through the dialog
// manager, so every style bit and dialog unit is seen as stored), the F2
// accelerator, the icon directory and the balloon texture's header.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

namespace {

struct ModuleFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

HMODULE Program() {
    static const std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree> module{
        LoadLibraryExA(QORVEL_PROGRAM_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE)};
    return module.get();
}

std::span<const std::byte> Resource(LPCSTR type, WORD id) {
    HRSRC found = FindResourceA(Program(), MAKEINTRESOURCEA(id), type);
    if (!found) return {};
    const void* data = LockResource(LoadResource(Program(), found));
    if (!data) return {};
    return {static_cast<const std::byte*>(data), SizeofResource(Program(), found)};
}

// Reads little-endian fields in order; reading past the end yields zeros and
// is remembered, so a short template fails the test instead of the process.
class Reader {
public:
    explicit Reader(std::span<const std::byte> bytes) : bytes(bytes) {}
    template <typename T>
    T Read() {
        T value{};
        if (position + sizeof(T) <= bytes.size())
            std::memcpy(&value, bytes.data() + position, sizeof(T));
        else
            overrun = true;
        position += sizeof(T);
        return value;
    }
    std::wstring ReadText() {
        std::wstring text;
        for (wchar_t c = Read<uint16_t>(); c != 0 && !overrun; c = Read<uint16_t>()) text += c;
        return text;
    }
    // A class, menu or title field: empty, an ordinal (shown as "#n") or a text.
    std::wstring ReadNameOrOrdinal() {
        const uint16_t first = Read<uint16_t>();
        if (first == 0) return {};
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<uint16_t>());
        return wchar_t(first) + ReadText();
    }
    void AlignToDword() { position = (position + 3) & ~std::size_t{3}; }
    bool AtEnd() const { return !overrun && position >= bytes.size(); }
    bool overrun = false;

private:
    std::span<const std::byte> bytes;
    std::size_t position = 0;
};

std::wstring FromCp1251(const char* text) {
    wchar_t wide[128]{};
    MultiByteToWideChar(1251, 0, text, -1, wide, 128);
    return wide;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = towupper(c);
    return text;
}

constexpr uint32_t noId = 0xFFFFFFFF;  // -1 in the template's 32-bit id field
constexpr uint32_t staticEdge = WS_EX_STATICEDGE;

struct Control {
    uint32_t id;
    const char* className;
    const char* text;
    int16_t x, y, w, h;
    uint32_t style, exStyle;
};

constexpr Control panelControls[] = {
    {1010, "Button", "Старт!", 330, 75, 40, 30, 0x50011F03, staticEdge},
    {1013, "msctls_trackbar32", "Slider1", 10, 10, 140, 20, 0x50010001, staticEdge},
    {1014, "msctls_updown32", "Spin1", 150, 10, 10, 20, 0x50000020, staticEdge},
    {1012, "ComboBox", "", 165, 15, 55, 87, 0x50210003, 0},
    {1018, "msctls_trackbar32", "Slider1", 10, 45, 140, 20, 0x50010001, staticEdge},
    {1019, "msctls_updown32", "Spin1", 150, 45, 10, 20, 0x50000020, staticEdge},
    {1017, "ComboBox", "", 165, 50, 55, 87, 0x50210003, 0},
    {1023, "msctls_trackbar32", "Slider1", 10, 80, 200, 20, 0x50010001, staticEdge},
    {1024, "msctls_updown32", "Spin1", 210, 80, 10, 20, 0x50000020, staticEdge},
    {1022, "Button", "Запись", 330, 5, 40, 20, 0x50012F00, staticEdge},
    {1025, "Button", "АС Вкл", 330, 30, 40, 20, 0x50012F00, staticEdge},
    {1026, "Button", "АС Выкл", 330, 50, 40, 20, 0x50012F00, staticEdge},
    {noId, "Button", "Канал DAC1", 5, 0, 320, 35, 0x50000007, 0},
    {noId, "Button", "Канал DAC2", 5, 35, 320, 35, 0x50000007, 0},
    {noId, "Button", "Частота дискретизации", 5, 70, 320, 35, 0x50000007, 0},
    {1015, "Static", "", 225, 10, 95, 20, 0x5000000E, staticEdge | WS_EX_TRANSPARENT},
    {1020, "Static", "", 225, 45, 95, 20, 0x5000000E, staticEdge},
    {1027, "Static", "", 225, 80, 95, 20, 0x5000000E, staticEdge},
};

TEST(ProgramResources, PanelTemplateHoldsTheDialogAndEveryControlInOrder) {
    ASSERT_NE(Program(), nullptr) << "cannot load " << QORVEL_PROGRAM_PATH;
    const auto bytes = Resource(RT_DIALOG, 101);
    ASSERT_FALSE(bytes.empty());
    Reader in(bytes);
    EXPECT_EQ(in.Read<uint16_t>(), 1);  // extended template version
    EXPECT_EQ(in.Read<uint16_t>(), 0xFFFF);
    in.Read<uint32_t>();  // help id: no meaning here
    EXPECT_EQ(in.Read<uint32_t>(), 0u);
    const uint32_t style = in.Read<uint32_t>();
    EXPECT_EQ(style, 0x80CA0040u);
    EXPECT_EQ(in.Read<uint16_t>(), std::size(panelControls));
    for (int16_t expected : {0, 0, 374, 109}) EXPECT_EQ(in.Read<int16_t>(), expected);
    EXPECT_EQ(in.ReadNameOrOrdinal(), L"");  // menu
    EXPECT_EQ(in.ReadNameOrOrdinal(), L"");  // dialog class
    EXPECT_EQ(in.ReadText(), L"");           // title, set at initialisation
    ASSERT_TRUE(style & DS_SETFONT) << "the font fields below would not exist";
    EXPECT_EQ(in.Read<uint16_t>(), 8);  // points
    EXPECT_EQ(in.Read<uint16_t>(), 0);  // weight
    EXPECT_EQ(in.Read<uint8_t>(), 0);   // italic
    EXPECT_EQ(in.Read<uint8_t>(), 1);   // character set
    EXPECT_EQ(in.ReadText(), L"MS Sans Serif");

    for (const Control& control : panelControls) {
        SCOPED_TRACE(testing::Message() << "control " << int(&control - panelControls) + 1);
        in.AlignToDword();
        in.Read<uint32_t>();  // help id
        EXPECT_EQ(in.Read<uint32_t>(), control.exStyle);
        EXPECT_EQ(in.Read<uint32_t>(), control.style);
        for (int16_t expected : {control.x, control.y, control.w, control.h})
            EXPECT_EQ(in.Read<int16_t>(), expected);
        EXPECT_EQ(in.Read<uint32_t>(), control.id);
        // The resource compiler stores class names upper-cased.
        EXPECT_EQ(Upper(in.ReadNameOrOrdinal()), Upper(FromCp1251(control.className)));
        EXPECT_EQ(in.ReadNameOrOrdinal(), FromCp1251(control.text));
        const uint16_t extraBytes = in.Read<uint16_t>();
        for (uint16_t i = 0; i < extraBytes; ++i) in.Read<uint8_t>();
    }
    EXPECT_TRUE(in.AtEnd()) << "the template is shorter or longer than its 18 controls";
}

TEST(ProgramResources, AcceleratorTableHasOnlyF2GivingTheStartKeyCommand) {
    ASSERT_NE(Program(), nullptr);
    HACCEL table = LoadAcceleratorsA(Program(), MAKEINTRESOURCEA(111));
    ASSERT_NE(table, nullptr);
    ACCEL entries[4]{};
    const int count = CopyAcceleratorTableA(table, entries, 4);
    DestroyAcceleratorTable(table);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(entries[0].fVirt, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(entries[0].key, VK_F2);
    EXPECT_EQ(entries[0].cmd, 40001);
}

TEST(ProgramResources, IconIsOneUsable32By32Image) {
    ASSERT_NE(Program(), nullptr);
    Reader directory(Resource(RT_GROUP_ICON, 102));
    EXPECT_EQ(directory.Read<uint16_t>(), 0);  // reserved
    EXPECT_EQ(directory.Read<uint16_t>(), 1);  // icons, not cursors
    ASSERT_EQ(directory.Read<uint16_t>(), 1);
    EXPECT_EQ(directory.Read<uint8_t>(), 32);  // width
    EXPECT_EQ(directory.Read<uint8_t>(), 32);  // height
    directory.Read<uint8_t>();                 // colour count
    directory.Read<uint8_t>();                 // reserved
    directory.Read<uint16_t>();                // planes
    directory.Read<uint16_t>();                // bits per pixel
    const uint32_t imageBytes = directory.Read<uint32_t>();
    const uint16_t imageId = directory.Read<uint16_t>();
    ASSERT_TRUE(directory.AtEnd());

    // The directory's entry must lead to an image of that size that decodes.
    const auto image = Resource(RT_ICON, imageId);
    ASSERT_EQ(image.size(), imageBytes);
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(const_cast<std::byte*>(image.data())),
                                          DWORD(image.size()), TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

TEST(ProgramResources, BalloonTextureIsAn8BitUncompressed128SquareWithFullColourTable) {
    ASSERT_NE(Program(), nullptr);
    const auto bytes = Resource(RT_BITMAP, 112);
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.biSize, sizeof header);
    EXPECT_EQ(header.biWidth, 128);
    EXPECT_EQ(header.biHeight, 128);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
    // 128 one-byte pixels make a row that needs no padding.
    EXPECT_EQ(bytes.size(), header.biSize + 256 * 4 + 128 * 128);
}

}  // namespace
