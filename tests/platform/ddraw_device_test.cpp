// The stand-in DirectDraw device: enumeration, creation, references, cooperative level,
// display modes per profile, capabilities and result codes.
#include <string>
#include <vector>

#include "tests/platform/ddraw_fixture.h"

using namespace ddtest;

namespace {

struct Enumerated {
    bool nullGuid;
    GUID guid;
    std::string description;
    std::string name;
};

BOOL CALLBACK collect(GUID* guid, LPSTR description, LPSTR name, LPVOID context) {
    auto* list = static_cast<std::vector<Enumerated>*>(context);
    list->push_back({guid == nullptr, guid ? *guid : GUID{}, description, name});
    return list->size() < 2 ? TRUE : FALSE; // at most two
}

qzplat::DeviceProfile secondDevice() {
    qzplat::DeviceProfile p;
    p.driverName = "card2";
    p.description = "Second card";
    p.guid = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    p.format = qzplat::DisplayFormat::rgb555;
    p.caps = 0;
    p.fourCCs = {};
    p.width = 800;
    p.height = 600;
    return p;
}

using DeviceTest = DDrawTest;

TEST_F(DeviceTest, EnumeratesDevicesInOrderAndCreatesTheOneNamedByGuid) {
    qzplat::DeviceProfile third = secondDevice();
    third.guid.Data1 = 0x9999;
    qzplat::setDeviceProfiles({qzplat::DeviceProfile{}, secondDevice(), third});
    std::vector<Enumerated> seen;
    ASSERT_EQ(DirectDrawEnumerateA(collect, &seen), DD_OK);
    ASSERT_EQ(seen.size(), 2u); // the callback stopped the walk
    EXPECT_TRUE(seen[0].nullGuid);
    EXPECT_FALSE(seen[1].nullGuid);
    EXPECT_EQ(seen[1].name, "card2");
    EXPECT_EQ(seen[1].description, "Second card");

    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(&seen[1].guid, &dd, nullptr), DD_OK);
    IDirectDraw2* dd2 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
    DDSURFACEDESC mode{};
    mode.dwSize = sizeof(mode);
    ASSERT_EQ(dd2->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 800u);
    EXPECT_EQ(mode.ddpfPixelFormat.dwRBitMask, 0x7C00u);
    dd2->Release();
    dd->Release();

    GUID unknown{0xDEAD, 0, 0, {}};
    EXPECT_EQ(DirectDrawCreate(&unknown, &dd, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
    EXPECT_EQ(dd, nullptr);
}

TEST_F(DeviceTest, ReferenceCountsReachZeroWithoutLeaks) {
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IDirectDraw2* dd2 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
    void* none = &dd;
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDrawSurface, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(dd->AddRef(), 3u);
    EXPECT_EQ(dd->Release(), 2u);
    ASSERT_EQ(dd2->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);

    IDirectDrawSurface2* primary = nullptr;
    ASSERT_EQ(createSurface2(dd2, surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), &primary), DD_OK);
    PALETTEENTRY entries[256]{};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd2->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    EXPECT_EQ(qzplat::liveObjects().surfaces, 1);
    EXPECT_EQ(qzplat::liveObjects().palettes, 1);
    EXPECT_EQ(palette->Release(), 0u);
    EXPECT_EQ(primary->Release(), 0u);
    EXPECT_EQ(dd2->Release(), 1u);
    EXPECT_EQ(dd->Release(), 0u);
    auto live = qzplat::liveObjects();
    EXPECT_EQ(live.devices + live.surfaces + live.palettes, 0);
}

TEST_F(DeviceTest, FlipChainBackBufferGoesWithItsFrontAndSurvivesAsDeadWhenStillHeld) {
    Display display;
    display.open(640, 480, 32);
    EXPECT_EQ(qzplat::liveObjects().surfaces, 2);
    // The front end releases the primary but keeps its back buffer reference.
    display.primary->Release();
    EXPECT_EQ(qzplat::liveObjects().surfaces, 1);
    EXPECT_EQ(display.back->IsLost(), DDERR_INVALIDOBJECT);
    EXPECT_EQ(display.back->Release(), 0u);
    display.primary = display.back = nullptr;
    EXPECT_EQ(qzplat::liveObjects().surfaces, 0);
    display.close();
    EXPECT_EQ(qzplat::liveObjects().devices, 0);
}

TEST_F(DeviceTest, ReleasingTheDeviceLeavesHeldSurfacesDeadNotDangling) {
    Display display;
    display.open(320, 240, 16, false);
    IDirectDrawSurface2* primary = display.primary;
    display.dd2->Release();
    display.dd->Release();
    EXPECT_EQ(primary->Lock(nullptr, nullptr, 0, nullptr), DDERR_INVALIDPARAMS);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    EXPECT_EQ(primary->Lock(nullptr, &desc, 0, nullptr), DDERR_INVALIDOBJECT);
    EXPECT_EQ(primary->Release(), 0u);
    EXPECT_EQ(qzplat::liveObjects().surfaces, 0);
}

TEST_F(DeviceTest, NormalLevelGivesADesktopSizedPrimaryInTheProfileFormat) {
    qzplat::DeviceProfile profile;
    profile.width = 1024;
    profile.height = 768;
    profile.format = qzplat::DisplayFormat::rgb565;
    qzplat::setDeviceProfiles({profile});
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IDirectDraw2* dd2 = nullptr;
    dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2));
    IDirectDrawSurface2* primary = nullptr;
    EXPECT_EQ(createSurface2(dd2, surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), &primary),
              DDERR_NOCOOPERATIVELEVELSET);
    ASSERT_EQ(dd2->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(dd2->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
    DDSURFACEDESC chain = surfaceDesc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                                      DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    chain.dwBackBufferCount = 1;
    EXPECT_EQ(createSurface2(dd2, chain, &primary), DDERR_NOEXCLUSIVEMODE);
    ASSERT_EQ(createSurface2(dd2, surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), &primary), DD_OK);
    IDirectDrawSurface2* second = nullptr;
    EXPECT_EQ(createSurface2(dd2, surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), &second),
              DDERR_PRIMARYSURFACEALREADYEXISTS);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, 1024u);
    EXPECT_EQ(desc.dwHeight, 768u);
    EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 16u);
    EXPECT_EQ(desc.ddpfPixelFormat.dwGBitMask, 0x07E0u);
    EXPECT_FALSE(qzplat::displayState().exclusive);
    primary->Release();
    dd2->Release();
    dd->Release();
}

struct ModeCase {
    qzplat::DisplayFormat desktop;
    DWORD bits;
    DWORD bitCount, red, green, blue, flags;
};

TEST_F(DeviceTest, DisplayModesUseTheProfileLayouts) {
    const ModeCase cases[] = {
        {qzplat::DisplayFormat::rgb888, 8, 8, 0, 0, 0, DDPF_RGB | DDPF_PALETTEINDEXED8},
        {qzplat::DisplayFormat::rgb888, 16, 16, 0xF800, 0x07E0, 0x001F, DDPF_RGB},
        {qzplat::DisplayFormat::rgb555, 16, 16, 0x7C00, 0x03E0, 0x001F, DDPF_RGB},
        {qzplat::DisplayFormat::palette8, 32, 32, 0xFF0000, 0xFF00, 0xFF, DDPF_RGB},
    };
    for (const ModeCase& c : cases) {
        qzplat::DeviceProfile profile;
        profile.format = c.desktop;
        qzplat::setDeviceProfiles({profile});
        Display display;
        display.open(512, 384, c.bits);
        DDPIXELFORMAT format{};
        format.dwSize = sizeof(format);
        ASSERT_EQ(display.back->GetPixelFormat(&format), DD_OK);
        EXPECT_EQ(format.dwFlags, c.flags);
        EXPECT_EQ(format.dwRGBBitCount, c.bitCount);
        EXPECT_EQ(format.dwRBitMask, c.red);
        EXPECT_EQ(format.dwGBitMask, c.green);
        EXPECT_EQ(format.dwBBitMask, c.blue);
        EXPECT_EQ(qzplat::displayState().bitsPerPixel, c.bits);
        EXPECT_TRUE(qzplat::displayState().exclusive);
        EXPECT_EQ(display.dd2->SetDisplayMode(512, 384, 24, 0, 0), DDERR_INVALIDMODE);
        display.close();
    }
}

TEST_F(DeviceTest, CapsAndFourCCCodesFollowTheProfile) {
    qzplat::DeviceProfile plain = secondDevice();
    qzplat::DeviceProfile rich;
    rich.fourCCs = {qzplat::fourCCYuy2, MAKEFOURCC('U', 'Y', 'V', 'Y'),
                    MAKEFOURCC('Y', 'V', '1', '2')};
    for (const auto& profile : {plain, rich}) {
        qzplat::setDeviceProfiles({profile});
        Display display;
        display.open(640, 480, 16);
        DDCAPS driver{}, emulation{};
        driver.dwSize = emulation.dwSize = sizeof(DDCAPS);
        ASSERT_EQ(display.dd2->GetCaps(&driver, &emulation), DD_OK);
        bool yuv = profile.caps != 0;
        EXPECT_EQ((driver.dwCaps & qzplat::capsOverlayYuv) == qzplat::capsOverlayYuv, yuv);
        EXPECT_EQ((driver.dwCaps & qzplat::capsBltYuv) == qzplat::capsBltYuv, yuv);
        EXPECT_TRUE(driver.dwCaps & DDCAPS_BLTCOLORFILL);
        EXPECT_EQ(driver.dwNumFourCCCodes, profile.fourCCs.size());

        // An older, shorter record is filled only as far as its size says.
        DWORD shortCaps[100];
        std::fill(std::begin(shortCaps), std::end(shortCaps), 0xEEEEEEEEu);
        shortCaps[0] = 316;
        ASSERT_EQ(display.dd2->GetCaps(reinterpret_cast<DDCAPS*>(shortCaps), nullptr), DD_OK);
        EXPECT_EQ(shortCaps[316 / 4 - 1], 0u);
        EXPECT_EQ(shortCaps[316 / 4], 0xEEEEEEEEu);
        driver.dwSize = 100;
        EXPECT_EQ(display.dd2->GetCaps(&driver, nullptr), DDERR_INVALIDPARAMS);

        DWORD codes[2] = {0, 0};
        DWORD count = 1;
        ASSERT_EQ(display.dd2->GetFourCCCodes(&count, codes), DD_OK);
        EXPECT_EQ(count, profile.fourCCs.size());
        EXPECT_EQ(codes[1], 0u); // room for one code: no more written
        if (yuv) {
            EXPECT_EQ(codes[0], qzplat::fourCCYuy2);
        }
        display.close();
    }
}

TEST_F(DeviceTest, CooperativeLevelRules) {
    qzplat::setDeviceProfiles({qzplat::DeviceProfile{}, secondDevice()});
    IDirectDraw* a = nullptr;
    IDirectDraw* b = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &a, nullptr), DD_OK);
    GUID second = secondDevice().guid;
    ASSERT_EQ(DirectDrawCreate(&second, &b, nullptr), DD_OK);
    EXPECT_EQ(a->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
    EXPECT_EQ(a->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(a->SetCooperativeLevel(fakeWindow(), DDSCL_NORMAL | DDSCL_EXCLUSIVE),
              DDERR_INVALIDPARAMS);
    ASSERT_EQ(a->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    EXPECT_EQ(b->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_EXCLUSIVEMODEALREADYSET);
    EXPECT_EQ(b->SetCooperativeLevel(fakeWindow(), DDSCL_NORMAL), DD_OK);
    // Leaving exclusive mode gives the desktop its mode back.
    ASSERT_EQ(a->SetDisplayMode(320, 200, 8), DD_OK);
    EXPECT_EQ(qzplat::displayState().width, 320u);
    ASSERT_EQ(a->SetCooperativeLevel(fakeWindow(), DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(qzplat::displayState().width, 640u);
    a->Release();
    b->Release();
}

TEST_F(DeviceTest, ResultCodesHaveThePlatformValues) {
    EXPECT_EQ(DD_OK, 0);
    EXPECT_EQ(DDERR_GENERIC, HRESULT(0x80004005));
    EXPECT_EQ(DDERR_UNSUPPORTED, HRESULT(0x80004001));
    EXPECT_EQ(DDERR_INVALIDPARAMS, HRESULT(0x80070057));
    EXPECT_EQ(DDERR_OUTOFMEMORY, HRESULT(0x8007000E));
    EXPECT_EQ(DDERR_INVALIDOBJECT, HRESULT(0x88760082));
    EXPECT_EQ(DDERR_OUTOFCAPS, HRESULT(0x88760168));
    EXPECT_EQ(DDERR_SURFACELOST, HRESULT(0x887601C2));
    EXPECT_EQ(DDERR_WASSTILLDRAWING, HRESULT(0x8876021C));
    EXPECT_EQ(DDERR_UNSUPPORTEDMODE, HRESULT(0x8876024E));
    EXPECT_EQ(DDERR_ALREADYINITIALIZED, HRESULT(0x88760005));
    EXPECT_EQ(DDERR_NOTFLIPPABLE, HRESULT(0x88760246));
}

} // namespace
