// downloadProductImage against loopback servers: pictures of several kinds, things that are no
// picture, oversize answers and stalls.
#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "bridge/web_actions.h"
#include "media/picture_decoder.h"
#include "platform/user_media_folder.h"
#include "web/web_test_support.h"

namespace tamo {
namespace {

using test::FakeApp;
using test::LogCapture;
using test::LoopbackServer;

// Downloaded pictures go to the user's media folder: a private one, chosen before GLib first reads
// the environment.
struct PrivateDataHome {
    std::filesystem::path path;
    PrivateDataHome() {
        char* made = g_dir_make_tmp("tamo-data-XXXXXX", nullptr);
        path = made ? made : "";
        g_free(made);
        setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~PrivateDataHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
const PrivateDataHome dataHome;
const std::filesystem::path& kDataHome = dataHome.path;

constexpr const char* kShortUA = "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15";

WebLimits quickLimits() {
    WebLimits limits;
    limits.idleTimeoutSeconds = 1;
    limits.totalTimeoutSeconds = 10;
    return limits;
}

struct Ready {
    std::string imageId;
    std::string png;  // decoded from the data URL
    int width = 0, height = 0;
};

// Parses "onProductImageReady({imageId:'…',dataURL:'data:image/png;base64,…',width:W,height:H})".
std::optional<Ready> parseReady(const std::string& call) {
    static const std::regex form(
        R"(^onProductImageReady\(\{imageId:'([^']*)',dataURL:'data:image/png;base64,([A-Za-z0-9+/=]*)',width:(\d+),height:(\d+)\}\)$)");
    std::smatch m;
    if (!std::regex_match(call, m, form)) return std::nullopt;
    Ready r;
    r.imageId = m[1];
    gsize size = 0;
    guchar* bytes = g_base64_decode(m[2].str().c_str(), &size);
    r.png.assign(reinterpret_cast<char*>(bytes), size);
    g_free(bytes);
    r.width = std::stoi(m[3]);
    r.height = std::stoi(m[4]);
    return r;
}

class ProductImage : public ::testing::Test {
protected:
    std::string jpeg = test::makePicture(1200, 800, "jpeg", [](int x, int) { return x < 600 ? 0xE03020u : 0x2040E0u; });
    std::string tiny = test::solidPng(1, 1, 0x00FF00);
    std::string png = test::solidPng(64, 48, 0x123456);
    LoopbackServer server{[this](httplib::Server& s) {
        s.Get("/photo.jpg", [this](const httplib::Request& req, httplib::Response& res) {
            seenUserAgent = req.get_header_value("User-Agent");
            res.set_content(jpeg, "image/jpeg");
        });
        s.Get("/tiny.png",
              [this](const httplib::Request&, httplib::Response& res) { res.set_content(tiny, "image/png"); });
        s.Get("/wrong-type", [this](const httplib::Request&, httplib::Response& res) {
            res.status = 404;  // neither status nor type matters, only the bytes
            res.set_content(png, "text/html");
        });
        s.Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<!doctype html><title>Shop</title><img src=x>", "text/html");
        });
        s.Get("/truncated.png", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(png.substr(0, png.size() - 40), "image/png");
        });
        s.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.set_content("", "image/png"); });
        s.Get("/bomb.png", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(test::pngHeaderClaiming(20000, 20000), "image/png");
        });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stall();
            res.set_content(tiny, "image/png");
        });
    }};
    std::string seenUserAgent;
};

TEST_F(ProductImage, JpegBecomesALibraryPngWithItsSize) {
    LogCapture log;
    FakeApp fake;
    startProductImageDownload(*fake.app, server.url("/photo.jpg"), quickLimits());
    ASSERT_TRUE(test::settle(fake));
    ASSERT_EQ(fake.page->calls.size(), 1u);
    auto ready = parseReady(fake.page->calls[0]);
    ASSERT_TRUE(ready) << fake.page->calls[0].substr(0, 200);
    EXPECT_TRUE(std::regex_match(ready->imageId, std::regex("product_[0-9A-F]{8}"))) << ready->imageId;
    EXPECT_EQ(ready->width, 1200);
    EXPECT_EQ(ready->height, 800);
    EXPECT_EQ(seenUserAgent, kShortUA);
    EXPECT_EQ(std::string(kShortUA).size(), 68u);

    // The data URL holds a PNG of the picture, and the same PNG lies in the temporary directory
    // under the identifier, which the library now knows.
    ASSERT_EQ(ready->png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    DecodedPicture sent = decodePictureBytes(ready->png);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent.width, 1200);
    EXPECT_EQ(sent.height, 800);
    EXPECT_GT(sent.at(0, 0) >> 16 & 0xFF, 200u);  // left half red
    const std::filesystem::path file = userMediaFolder() / (ready->imageId + ".png");
    EXPECT_EQ(file.parent_path(), kDataHome / "tamovid" / "media");
    ASSERT_EQ(fake.app->storedImages.count(ready->imageId), 1u);
    EXPECT_EQ(fake.app->storedImages.at(ready->imageId), file);
    EXPECT_EQ(fake.app->storedImages.size(), 1u);
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), ready->png.size());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"🛍️ Product image downloaded: 1200x800"});
    std::filesystem::remove(file);
}

TEST_F(ProductImage, PicturesOfAnySizeAndLabelAreTakenTwiceOverWithTwoIdentifiers) {
    FakeApp fake;
    for (const char* path : {"/tiny.png", "/tiny.png", "/wrong-type"})
        startProductImageDownload(*fake.app, server.url(path), quickLimits());
    ASSERT_TRUE(test::settle(fake));
    ASSERT_EQ(fake.page->calls.size(), 3u);
    std::set<std::string> ids;
    std::multiset<std::pair<int, int>> sizes;
    for (const auto& call : fake.page->calls) {
        auto ready = parseReady(call);
        ASSERT_TRUE(ready) << call.substr(0, 200);
        ids.insert(ready->imageId);
        sizes.insert({ready->width, ready->height});
        std::filesystem::remove(fake.app->storedImages.at(ready->imageId));
    }
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_EQ(fake.app->storedImages.size(), 3u);
    EXPECT_EQ(sizes, (std::multiset<std::pair<int, int>>{{1, 1}, {1, 1}, {64, 48}}));
}

TEST_F(ProductImage, WhatIsNoPictureEndsInTheDownloadMessage) {
    LogCapture log;
    WebLimits small = quickLimits();
    small.maxPictureBytes = 1000;
    struct Case {
        const char* path;
        WebLimits limits;
    };
    const Case cases[] = {
        {"/page.html", quickLimits()}, {"/truncated.png", quickLimits()},
        {"/empty", quickLimits()},     {"/bomb.png", quickLimits()},
        {"/photo.jpg", small},  // over the size cap
    };
    for (const auto& c : cases) {
        FakeApp fake;
        startProductImageDownload(*fake.app, server.url(c.path), c.limits);
        ASSERT_TRUE(test::settle(fake));
        EXPECT_EQ(fake.page->calls, std::vector<std::string>{"onProductImageError('Nem sikerült a kép letöltése!')"})
            << c.path;
        EXPECT_TRUE(fake.app->storedImages.empty());
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ProductImage, TransportErrorsCarryTheirHungarianDescription) {
    struct Case {
        std::string url;
        std::string call;
    };
    for (const Case& c :
         {Case{server.url("/stall"), "onProductImageError('A kérés időtúllépés miatt megszakadt.')"},
          Case{"http://127.0.0.1:1/x.png", "onProductImageError('Nem sikerült kapcsolódni a kiszolgálóhoz.')"}}) {
        FakeApp fake;
        startProductImageDownload(*fake.app, c.url, quickLimits());
        ASSERT_TRUE(test::settle(fake));
        EXPECT_EQ(fake.page->calls, std::vector<std::string>{c.call}) << c.url;
        EXPECT_TRUE(fake.app->storedImages.empty());
    }
}

TEST(ProductImageRefusal, NonWebAddressesAreRefusedAtOnce) {
    for (const char* url :
         {"file:///etc/hosts", "ftp://example.com/a.png", "www.example.com/a.png", " https://x.hu/a.png"}) {
        FakeApp fake;
        startProductImageDownload(*fake.app, url, quickLimits());
        EXPECT_EQ(fake.app->services().work->inFlight(), 0u);
        EXPECT_EQ(fake.page->calls, std::vector<std::string>{"onProductImageError('Érvénytelen kép URL!')"}) << url;
    }
}

}  // namespace
}  // namespace tamo
