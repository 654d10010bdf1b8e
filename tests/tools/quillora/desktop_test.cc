// desktop_test.cc - faults in quillora's dialogs on a real desktop (X, GTK, WebKitGTK) met through the screen and real input events: a dialog not laid out from its template, keys that do not choose, sign or cancel, a protected key whose passphrase is not asked in a window, a preview that does not grow to fit its page or is not clamped to the screen, a message box that a key does not answer, a preview that runs the page's script or loads anything, pieces of one filling parsed apart, and an uninstaller whose question, log or closing a person cannot meet.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control/resources/logo_bitmap.h"
#include "tests/tools/quillora/quillora_harness.h"
#include "tests/tools/quillora/x_screen.h"

namespace quillora_test {
namespace {

constexpr char kPassphrase[] = "s3cret";
constexpr uint32_t kGreen = 0x00FF00, kMagenta = 0xFF00FF, kBlue = 0x0000FF, kRed = 0xFF0000;

// The logo as the dialog must show it: its own pixels at its own size.
Image logo_image() {
  Image logo;
  logo.width = logo::kWidth;
  logo.height = logo::kHeight;
  for (int y = 0; y < logo.height; ++y) {
    const uint8_t *row = logo::kBitmap.data() + logo::kHeaderBytes + (logo.height - 1 - y) * logo::kRowBytes;
    for (int x = 0; x < logo.width; ++x, row += 3) logo.pixels.push_back(row[2] << 16 | row[1] << 8 | row[0]);
  }
  return logo;
}

// Counts the connections made to a port on 127.0.0.1: a request for anything the preview was
// told to load would be one.
class Canary {
 public:
  Canary() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd ready{listener_, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) continue;
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        ++requests_;
        close(connection);
      }
    });
  }
  ~Canary() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string url(const std::string &path) const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + path; }
  int requests() const { return requests_; }

 private:
  int listener_;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  std::atomic<int> requests_ = 0;
  std::thread thread_;
};

// Each test meets quillora as a person does: on the display, through xdotool's input events.
// Without a display or xdotool the tests are skipped, unless QUILLORA_REQUIRE_DISPLAY says the
// run must have them (as CI does).
class desktop : public testing::Test {
 protected:
  void SetUp() override {
    screen_ = XScreen::open();
    const bool usable = screen_ != nullptr && sandbox_.run_program("xdotool", {"version"}).exit_code == 0;
    if (!usable) {
      const std::string why = "no X display or no xdotool: run under Xvfb with DISPLAY set (./dev test starts one)";
      if (getenv("QUILLORA_REQUIRE_DISPLAY") != nullptr) FAIL() << why;
      GTEST_SKIP() << why;
    }
    // Two signers; the list sorts "Anna Vidal" before "Demo Signer", whose key is protected.
    const std::string passphrase_file = sandbox_.write_text("passphrase", std::string(kPassphrase) + "\n").string();
    ASSERT_EQ(sandbox_
                  .run({"certs", "new", "--subject", "C=ES, O=Quillora Demo, CN=Demo Signer", "--key-usage",
                        "digitalSignature", "--key-passphrase-file", passphrase_file})
                  .exit_code,
              0);
    ASSERT_EQ(
        sandbox_.run({"certs", "new", "--subject", "C=ES, CN=Anna Vidal", "--key-usage", "digitalSignature"}).exit_code,
        0);
    ASSERT_EQ(sandbox_.run({"register"}).exit_code, 0);
  }

  // In a sanitizer build the leak checker stays off for quillora: stopping WebKitGTK's threads at
  // exit crashes its tracer. The desktop back end's own objects are leak-checked in process by
  // its own test.
  std::unique_ptr<Background> on_desktop(const std::string &program, const std::vector<std::string> &args) {
    return sandbox_.start(program, args,
                          {"QUILLORA_UI=desktop", std::string("DISPLAY=") + getenv("DISPLAY"), "GDK_BACKEND=x11",
                           "ASAN_OPTIONS=detect_leaks=0"});
  }
  std::unique_ptr<Background> request(const std::vector<std::string> &args) { return on_desktop(QUILLORA_PATH, args); }

  bool shown(const std::string &title) {
    return sandbox_.run_program("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}).exit_code == 0;
  }

  // The window of that title once it is on the screen and has the keyboard; 0 when none comes.
  unsigned long wait_for_window(const std::string &title) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    unsigned long window = 0;
    // A search fails outright when a window it looks at goes meanwhile (the last test's), so it
    // is asked again rather than left to wait.
    while (window == 0 && std::chrono::steady_clock::now() < deadline) {
      const RunResult found = sandbox_.run_program("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"});
      if (found.exit_code == 0 && !found.out.empty())
        window = std::stoul(found.out.substr(found.out.rfind('\n', found.out.size() - 2) + 1));
      if (window == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    while (window != 0 && screen_->focus() != window && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return window;
  }

  // Key presses a tenth of a second apart, as a quick typist makes them.
  void press(const std::vector<std::string> &keys) {
    std::vector<std::string> command{"key", "--delay", "100"};
    command.insert(command.end(), keys.begin(), keys.end());
    ASSERT_EQ(sandbox_.run_program("xdotool", command).exit_code, 0);
  }

  // The window on the screen, once painted and showing what `ready` looks for; kept beside the
  // test's output when a check fails.
  Image shot(unsigned long window, Rect *frame, const std::string &name,
             const std::function<bool(const Image &)> &ready) {
    const std::optional<Rect> geometry = screen_->geometry(window);
    if (!geometry) return Image();
    *frame = *geometry;
    Image image = screen_->settled(*frame, ready);
    shots_.emplace_back(name, image);
    return image;
  }

  void TearDown() override {
    if (!HasFailure()) return;
    for (const auto &[name, image] : shots_) {
      const std::string path = testing::TempDir() + "desktop_" + name + ".ppm";
      image.save_ppm(path);
      std::cerr << "screenshot: " << path << "\n";
    }
  }

  void expect_centred(const Rect &frame) {
    const Rect screen = screen_->size();
    EXPECT_NEAR(frame.x + frame.width / 2, screen.width / 2, 1);
    EXPECT_NEAR(frame.y + frame.height / 2, screen.height / 2, 1);
  }

  Sandbox sandbox_;
  std::unique_ptr<XScreen> screen_;
  std::vector<std::pair<std::string, Image>> shots_;
};

// The pixels of text (dark on a light box) within `box`.
int dark_pixels(const Image &image, const Rect &box) {
  int dark = 0;
  for (int y = box.y; y < box.bottom(); ++y)
    for (int x = box.x; x < box.right(); ++x) dark += (image.at(x, y) & 0xFF) < 0x60 ? 1 : 0;
  return dark;
}

std::string without_line_feed(const std::string &out) { return out.substr(0, out.find('\n')); }

TEST_F(desktop, the_plain_dialog_signs_with_the_certificate_keys_choose_and_the_html_one_grows_to_fit) {
  const std::string text = "Autoritzo el pagament de 1.250,00 EUR.\nData: 2024-05-01";
  auto plain = request({"signText", text});
  const unsigned long plain_window = wait_for_window("Signatura Digital");
  ASSERT_NE(plain_window, 0u) << plain->wait().err;
  Rect plain_frame;
  const Image plain_shot = shot(plain_window, &plain_frame, "plain",
                                [](const Image &image) { return image.find(logo_image()).has_value(); });
  expect_centred(plain_frame);
  // The template puts the logo at 281 to 326 of 331 units across, at the top: found pixel for
  // pixel, so drawn at its own size.
  const std::optional<Rect> plain_logo = plain_shot.find(logo_image());
  ASSERT_TRUE(plain_logo) << "no logo in the dialog";
  EXPECT_GT(plain_logo->x, plain_frame.width * 8 / 10);
  EXPECT_LT(plain_logo->right(), plain_frame.width);
  EXPECT_LT(plain_logo->y, plain_frame.height / 4);
  // The text box: white, below the logo and above the buttons, with the text's dark pixels in it.
  const Image upper = plain_shot.crop({0, 0, plain_frame.width, plain_frame.height * 6 / 10});
  const std::optional<Rect> text_box = upper.bounds_of(0xFFFFFF);
  ASSERT_TRUE(text_box);
  EXPECT_GT(text_box->y, plain_logo->bottom() - 10);
  EXPECT_GT(text_box->width, plain_frame.width * 9 / 10);
  EXPECT_GT(dark_pixels(upper, *text_box), 200) << "the text is not shown";

  // Shift+Tab goes back from Acceptar to the certificate list, Down picks the second, Enter signs;
  // its key asks for the passphrase in a window of its own.
  press({"shift+Tab", "Down", "Return"});
  ASSERT_NE(wait_for_window("Passphrase"), 0u) << plain->wait().err;
  ASSERT_EQ(sandbox_.run_program("xdotool", {"type", "--delay", "50", kPassphrase}).exit_code, 0);
  press({"Return"});
  const RunResult signed_plain = plain->wait();
  ASSERT_EQ(signed_plain.exit_code, 0) << signed_plain.err;
  std::string signer;
  EXPECT_TRUE(sandbox_.verifies(without_line_feed(signed_plain.out), text, &signer));
  EXPECT_NE(signer.find("CN = Demo Signer"), std::string::npos) << signer;

  // A page wider and taller than the text box: 900 x 300 pixels of green.
  auto html = request({"signHTML",
                       "<h1>Contracte</h1><table width=900 height=300 bgcolor=#00ff00 cellspacing=0>"
                       "<tr><td></td></tr></table>"});
  const unsigned long html_window = wait_for_window("Signatura Digital");
  ASSERT_NE(html_window, 0u) << html->wait().err;
  Rect html_frame;
  const Image html_shot =
      shot(html_window, &html_frame, "html", [](const Image &image) { return image.count(kGreen) > 0; });
  const std::optional<Rect> page = html_shot.bounds_of(kGreen);
  ASSERT_TRUE(page) << "the page is not rendered";
  EXPECT_EQ(page->width, 900);
  EXPECT_EQ(page->height, 300);
  EXPECT_EQ(html_shot.count(kGreen), 900 * 300) << "the page is not all in view";
  const int dx = html_frame.width - plain_frame.width, dy = html_frame.height - plain_frame.height;
  EXPECT_GT(dx, 0);
  EXPECT_GT(dy, 0);
  // The logo follows the growth in width and stays at the top.
  const std::optional<Rect> html_logo = html_shot.find(logo_image());
  ASSERT_TRUE(html_logo);
  EXPECT_EQ(html_logo->x - plain_logo->x, dx);
  EXPECT_EQ(html_logo->y, plain_logo->y);
  expect_centred(html_frame);
  press({"Escape"});
  const RunResult cancelled = html->wait();
  EXPECT_EQ(cancelled.exit_code, 2) << cancelled.err;
  EXPECT_EQ(cancelled.out, "error:userCancel\n");
}

TEST_F(desktop, the_preview_is_inert_parses_one_filling_whole_and_is_clamped_to_the_screen) {
  const Canary canary;
  // Script that would paint the page red and call the canary, were it ever run.
  const std::string handler = "document.body.style.background='#ff0000';fetch('" + canary.url("handler") + "')";
  // A tag cut by the 4096-byte piece boundary: "<table" ends the first piece.
  std::string html = "<b title=\"";
  html += std::string(4090 - html.size() - 6, 'A') + "\"></b>";
  html += "<table bgcolor=#ff00ff width=200 height=50 cellspacing=0><tr><td></td></tr></table>";
  html += "<h1 tabindex=1 autofocus style=\"background:#0000ff;color:#ffffff\" onmouseover=\"" + handler +
          "\" onclick=\"" + handler + "\" onfocus=\"" + handler + "\">Handlers</h1>";
  html += "<p style=\"background:url(" + canary.url("style") + ")\">style</p>";
  html += "<table background=\"" + canary.url("table") + "\"><tr><td background=\"" + canary.url("cell") +
          "\">cell</td></tr></table>";
  html +=
      "<font face=\"" + canary.url("face") + "\" style=\"cursor:url(" + canary.url("cursor") + "),auto\">face</font>";
  html += "<ul style=\"list-style-image:url(" + canary.url("list") + ")\"><li>item</li></ul>";
  // Far larger than any screen.
  html += "<table width=5000 height=4000 bgcolor=#00ff00><tr><td></td></tr></table>";
  ASSERT_GT(html.find("<table bgcolor=#ff00ff"), 4090u - 1);
  ASSERT_LT(html.find("<table bgcolor=#ff00ff"), 4096u);

  auto run = request({"signHTML", html});
  const unsigned long window = wait_for_window("Signatura Digital");
  ASSERT_NE(window, 0u) << run->wait().err;
  Rect frame;
  const auto painted = [](const Image &image) { return image.count(kGreen) > 0; };
  Image page = shot(window, &frame, "inert", painted);
  const Rect screen = screen_->size();
  // A maximised window less two caption heights, never past the screen.
  EXPECT_LE(frame.width, screen.width);
  EXPECT_GT(frame.width, screen.width - 2 * 64);
  EXPECT_LE(frame.height, screen.height);
  EXPECT_GT(frame.height, screen.height - 2 * 64);
  expect_centred(frame);
  const std::optional<Rect> joined = page.bounds_of(kMagenta);
  ASSERT_TRUE(joined) << "the table cut between two pieces was not parsed whole";
  EXPECT_EQ(joined->width, 200);
  EXPECT_EQ(joined->height, 50);

  // Hover over the handlers' heading and click it: nothing may run.
  const std::optional<Rect> heading = page.bounds_of(kBlue);
  ASSERT_TRUE(heading);
  const std::string x = std::to_string(frame.x + heading->x + heading->width / 2);
  const std::string y = std::to_string(frame.y + heading->y + heading->height / 2);
  ASSERT_EQ(sandbox_.run_program("xdotool", {"mousemove", x, y, "click", "1"}).exit_code, 0);
  page = shot(window, &frame, "inert_clicked", painted);
  EXPECT_EQ(page.count(kRed), 0) << "a handler of the page ran";
  press({"Return"});
  const RunResult signed_html = run->wait();
  ASSERT_EQ(signed_html.exit_code, 0) << signed_html.err;
  EXPECT_TRUE(sandbox_.verifies(without_line_feed(signed_html.out), html)) << "the source is what is signed";
  EXPECT_EQ(canary.requests(), 0) << "the preview loaded something";
}

TEST_F(desktop, a_refused_text_is_told_in_a_message_box_that_enter_answers) {
  auto run = request({"signHTML", "<p>Hola</p><script>alert(1)</script>"});
  const unsigned long window = wait_for_window("Error");
  ASSERT_NE(window, 0u) << run->wait().err;
  Rect frame;
  const auto icon_red = [](const Image &image) {
    int red = 0;
    for (uint32_t pixel : image.pixels)
      red += (pixel >> 16) > 0xB0 && ((pixel >> 8) & 0xFF) < 0x50 && (pixel & 0xFF) < 0x50;
    return red;
  };
  const Image box = shot(window, &frame, "message_box", [&](const Image &image) { return icon_red(image) > 200; });
  const int red = icon_red(box);
  EXPECT_GT(red, 200) << "no error icon";
  press({"Return"});
  const RunResult r = run->wait();
  EXPECT_EQ(r.exit_code, 4) << r.err;
  EXPECT_EQ(r.out, "error:internalError\n");
}

TEST_F(desktop, the_uninstaller_asks_then_shows_its_log_and_closes_on_enter_only_once_done) {
  // quillora install puts the browsers' host manifests under HOME: the sandbox's.
  const ScopedEnv home("HOME", sandbox_.path().c_str());
  const ScopedEnv config_home("XDG_CONFIG_HOME", "");
  const std::filesystem::path folder = sandbox_.path() / "installed";
  ASSERT_EQ(sandbox_.run({"install", "--dir", folder.string()}).exit_code, 0);
  auto run = on_desktop((folder / "uninstall").string(), {});
  ASSERT_NE(wait_for_window("Desinstal\302\267laci\303\263 quillora 2.1.04S1R2"), 0u) << run->wait().err;
  press({"Return"});  // Yes, the focused first button
  const std::string caption = "Desinstal\302\267laci\303\263 de quillora";
  const unsigned long window = wait_for_window(caption);
  ASSERT_NE(window, 0u) << run->wait().err;
  Rect frame;
  // The log box: white, with the worker's lines in it.
  const auto log_written = [](const Image &image) {
    const std::optional<Rect> box = image.bounds_of(0xFFFFFF);
    return box && dark_pixels(image, *box) > 200;
  };
  const Image progress = shot(window, &frame, "uninstaller", log_written);
  EXPECT_TRUE(log_written(progress)) << "the log is not shown";
  expect_centred(frame);
  // D'acord is greyed until the verdict: Enter closes the window only then, however early it comes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (shown(caption) && std::chrono::steady_clock::now() < deadline) press({"Return"});
  const RunResult removed = run->wait();
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_NE(removed.out.find("\n\nDesinstal\302\267laci\303\263 finalitzada satisfact\303\262riament\n"),
            std::string::npos)
      << removed.out;
  EXPECT_FALSE(std::filesystem::exists(folder / "quillora.ocx"));
}

}  // namespace
}  // namespace quillora_test
