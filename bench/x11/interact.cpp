// Times a viewer's answer to input from outside its process: sends keys, button presses and
// pointer moves with XTest and reads the whole watched area with XShmGetImage every few
// milliseconds, comparing a hash of every 4th row. Works the same for a Wine program and a native
// one, so bench/interactions.sh times Vistrel and feh alike.
// Bench code, built by bench/e2e.sh with the host compiler; prints figures, not a test.
//
//   interact --area WxH+X+Y [--quiet-ms MS] [--timeout-ms MS] ACTION...
//
// Actions, done in order; each prints one line of "name value" pairs (times in ms):
//   ready MS         wait until the area shows a picture (many colours in its middle row) and has
//                    been still for MS
//   point X Y        move the pointer to (X, Y) in the area
//   quiet MS         the quiet time of the actions after this one
//   key NAME [N] [then NAME2 MS X Y]
//                    press the key (an X keysym name: Up, r, greater...) N times, 250 ms apart,
//                    and time the first screen change after the first press and the last change
//                    before the screen stayed still for the quiet time; with "then", NAME2 is
//                    pressed MS after the first press and the time until the pixel (X, Y) of the
//                    area changes is printed too
//   drag N DX DY MS [TURN]
//                    hold the left button at the pointer and move it N times by (DX, DY), one move
//                    every MS, reversing after every TURN moves; frames per second seen and
//                    move -> first change latencies
//   names            the names of the top-level windows (feh puts its zoom there with --title)
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "screen_timing.h"

namespace {

// Owns one shared-memory image of the whole area, read again by every capture.
class AreaReader {
 public:
  AreaReader(Display* display, const Area& area) : display_(display), area_(area) {
    if (!XShmQueryExtension(display)) return;
    const int screen = DefaultScreen(display);
    image_ = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                             nullptr, &segment_, area.width, area.height);
    if (image_ == nullptr) return;
    segment_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * image_->height,
                            IPC_CREAT | 0600);
    if (segment_.shmid < 0) return;
    segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    segment_.readOnly = False;
    attached_ = segment_.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(display, &segment_);
    XSync(display, False);
  }
  ~AreaReader() {
    if (attached_) XShmDetach(display_, &segment_);
    if (image_ != nullptr) {
      image_->data = nullptr;
      XDestroyImage(image_);
    }
    if (segment_.shmaddr != nullptr && segment_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment_.shmaddr);
    if (segment_.shmid >= 0) shmctl(segment_.shmid, IPC_RMID, nullptr);
  }
  AreaReader(const AreaReader&) = delete;
  AreaReader& operator=(const AreaReader&) = delete;

  bool Ok() const { return attached_ && image_->bits_per_pixel == 32; }

  // Reads the area; returns a hash of every 4th row.
  uint64_t Capture() {
    XShmGetImage(display_, RootWindow(display_, DefaultScreen(display_)), image_, area_.x, area_.y, AllPlanes);
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < area_.height; y += 4) {
      const uint32_t* row = Row(y);
      for (int x = 0; x < area_.width; ++x) hash = (hash ^ (row[x] & 0xFFFFFF)) * 1099511628211ull;
    }
    return hash;
  }
  uint32_t Pixel(int x, int y) const { return Row(y)[x] & 0xFFFFFF; }
  int DistinctInMiddleRow() const {
    const uint32_t* row = Row(area_.height / 2);
    std::set<uint32_t> colours;
    for (int x = 0; x < area_.width; ++x) colours.insert(row[x] & 0xFFFFFF);
    return static_cast<int>(colours.size());
  }

 private:
  const uint32_t* Row(int y) const {
    return reinterpret_cast<const uint32_t*>(image_->data + static_cast<size_t>(y) * image_->bytes_per_line);
  }

  Display* display_;  // not owned
  Area area_;
  XShmSegmentInfo segment_{0, -1, nullptr, False};
  XImage* image_ = nullptr;
  bool attached_ = false;
};

// From the start of one capture to the start of the next: quick, yet leaving the viewer most of a
// core on a two-core machine.
constexpr double kPeriodMs = 3;
// Presses close together are not all taken by feh while it draws a 100 MP picture.
constexpr double kKeyRepeatMs = 250;

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  const size_t m = values.size() / 2;
  return values.size() % 2 == 1 ? values[m] : (values[m - 1] + values[m]) / 2;
}

class Session {
 public:
  Session(Display* display, const Area& area, double quietMs, double timeoutMs)
      : display_(display), area_(area), reader_(display, area), quietMs_(quietMs), timeoutMs_(timeoutMs) {}
  bool Ok() const { return reader_.Ok(); }

  bool Ready(double stillMs) {
    const double start = NowMs();
    uint64_t state = reader_.Capture();
    double since = start;
    for (double now = start; now - start < timeoutMs_; now = Pace(now)) {
      const uint64_t seen = reader_.Capture();
      if (seen != state) {
        state = seen;
        since = now;
      }
      if (now - since >= stillMs && reader_.DistinctInMiddleRow() >= 100) {
        std::printf("ready after_ms %.0f\n", now - start);
        return true;
      }
    }
    std::printf("ready failed\n");
    return false;
  }

  void Point(int x, int y) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), area_.x + x, area_.y + y, 0);
    XSync(display_, False);
    pointerX_ = x;
    pointerY_ = y;
  }

  void SetQuiet(double ms) { quietMs_ = ms; }

  void SetFollower(const char* key, double delayMs, int probeX, int probeY) {
    followKey_ = key;
    followDelayMs_ = delayMs;
    probeX_ = std::clamp(probeX, 0, area_.width - 1);
    probeY_ = std::clamp(probeY, 0, area_.height - 1);
  }

  bool Key(const char* name, int presses) {
    KeyCode code = 0, followCode = 0;
    bool shift = false, followShift = false;
    if (!KeyFor(name, &code, &shift) || (followKey_ != nullptr && !KeyFor(followKey_, &followCode, &followShift)))
      return false;
    uint64_t state = reader_.Capture();
    const uint32_t probeBefore = reader_.Pixel(probeX_, probeY_);
    const double sent = NowMs();
    periods_ = 0;
    Press(code, shift);
    int pressed = 1;
    bool followed = followKey_ == nullptr;
    double first = -1, last = -1, probeChanged = -1;
    int states = 0;
    for (double now = NowMs(); now - sent < timeoutMs_; now = Pace(now)) {
      if (!followed && now - sent >= followDelayMs_) {
        Press(followCode, followShift);
        followed = true;
      }
      if (pressed < presses && now - sent >= pressed * kKeyRepeatMs) {
        Press(code, shift);
        ++pressed;
      }
      const uint64_t seen = reader_.Capture();
      if (seen != state) {
        state = seen;
        last = now;
        if (first < 0) first = now;
        ++states;
        if (probeChanged < 0 && followKey_ != nullptr && reader_.Pixel(probeX_, probeY_) != probeBefore)
          probeChanged = now;
      }
      const bool allSent = pressed == presses && followed;
      if (allSent && first >= 0 && now - last >= quietMs_) break;
    }
    std::printf("key name %s presses %d first_ms %.1f last_ms %.1f states %d period_ms %.1f", name, presses,
                first < 0 ? -1 : first - sent, last < 0 ? -1 : last - sent, states, MeanPeriod(sent));
    if (followKey_ != nullptr) {
      std::printf(" then %s after_ms %.0f probe_ms %.1f", followKey_, followDelayMs_,
                  probeChanged < 0 ? -1 : probeChanged - sent);
    }
    std::printf("\n");
    followKey_ = nullptr;
    return first >= 0;
  }

  // A frame is a distinct state seen from the first move until one move period after the last;
  // a move's latency is the time to the first change captured after it, if that comes before a
  // second period has passed (later changes answer the button's release, not a move). With
  // `turnEvery`, the direction reverses after that many moves, so a viewer that stops the
  // picture at its edges keeps answering.
  bool Drag(int moves, int dx, int dy, double everyMs, int turnEvery) {
    XTestFakeButtonEvent(display_, 1, True, 0);
    XSync(display_, False);
    SleepMs(everyMs);
    uint64_t state = reader_.Capture();
    std::vector<double> sentAt, changes;
    const double start = NowMs();
    const double end = start + moves * everyMs;
    periods_ = 0;
    double quietFrom = 0;
    bool released = false;
    for (double now = start;; now = Pace(now)) {
      const int sent = static_cast<int>(sentAt.size());
      if (sent < moves && now >= start + sent * everyMs) {
        const int sign = turnEvery > 0 && (sent / turnEvery) % 2 == 1 ? -1 : 1;
        sentAt.push_back(NowMs());
        Point(pointerX_ + sign * dx, pointerY_ + sign * dy);
      }
      if (!released && now >= end + everyMs) {
        XTestFakeButtonEvent(display_, 1, False, 0);
        XSync(display_, False);
        released = true;
        quietFrom = now;
      }
      const uint64_t seen = reader_.Capture();
      if (seen != state) {
        state = seen;
        changes.push_back(now);
        quietFrom = now;
      }
      if (released && (now - quietFrom >= quietMs_ || now - start > timeoutMs_)) break;
    }
    const int frames = static_cast<int>(std::count_if(changes.begin(), changes.end(), [&](double t) {
      return t > sentAt.front() && t <= end;
    }));
    std::vector<double> latencies;
    for (double sent : sentAt) {
      const auto next = std::upper_bound(changes.begin(), changes.end(), sent);
      if (next != changes.end() && *next <= end + everyMs) latencies.push_back(*next - sent);
    }
    const double worst = latencies.empty() ? -1 : *std::max_element(latencies.begin(), latencies.end());
    std::printf("drag moves %d fps %.1f frames %d answered %zu latency_median_ms %.1f latency_worst_ms %.1f "
                "settled_ms %.1f period_ms %.1f\n",
                moves, frames * 1000.0 / (end - sentAt.front()), frames, latencies.size(), Median(latencies), worst,
                changes.empty() ? -1 : changes.back() - end, MeanPeriod(start));
    return frames > 0;
  }

  void Names() {
    Window root = RootWindow(display_, DefaultScreen(display_)), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return;
    std::printf("names");
    for (unsigned i = 0; i < count; ++i) {
      char* name = nullptr;
      if (XFetchName(display_, children[i], &name) && name != nullptr) {
        std::printf(" [%s]", name);
        XFree(name);
      }
    }
    std::printf("\n");
    if (children != nullptr) XFree(children);
  }

 private:
  // Sleeps out the rest of the poll period begun at `captured`; returns the next capture's time.
  double Pace(double captured) {
    SleepMs(captured + kPeriodMs - NowMs());
    ++periods_;
    return NowMs();
  }
  // The mean poll period since `from`, when the counting began.
  double MeanPeriod(double from) const { return periods_ > 0 ? (NowMs() - from) / periods_ : 0; }

  bool KeyFor(const char* name, KeyCode* code, bool* shift) {
    const KeySym sym = XStringToKeysym(name);
    *code = sym == NoSymbol ? 0 : XKeysymToKeycode(display_, sym);
    if (*code == 0) {
      std::fprintf(stderr, "no key for %s\n", name);
      return false;
    }
    *shift = XkbKeycodeToKeysym(display_, *code, 0, 0) != sym;
    return true;
  }

  void Press(KeyCode code, bool shift) {
    const KeyCode shiftCode = XKeysymToKeycode(display_, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(display_, shiftCode, True, 0);
    XTestFakeKeyEvent(display_, code, True, 0);
    XTestFakeKeyEvent(display_, code, False, 0);
    if (shift) XTestFakeKeyEvent(display_, shiftCode, False, 0);
    XSync(display_, False);
  }

  Display* display_;  // not owned
  Area area_;
  AreaReader reader_;
  double quietMs_, timeoutMs_;
  int pointerX_ = 0, pointerY_ = 0;
  int periods_ = 0;
  const char* followKey_ = nullptr;
  double followDelayMs_ = 0;
  int probeX_ = 0, probeY_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Area area;
  double quietMs = 500, timeoutMs = 20000;
  int i = 1;
  for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    if (std::strcmp(argv[i], "--area") == 0 && ParseArea(argv[i + 1], &area)) continue;
    if (std::strcmp(argv[i], "--quiet-ms") == 0) quietMs = std::atof(argv[i + 1]);
    else if (std::strcmp(argv[i], "--timeout-ms") == 0) timeoutMs = std::atof(argv[i + 1]);
    else break;
  }
  Display* display = XOpenDisplay(nullptr);
  int event = 0, error = 0, major = 0, minor = 0;
  if (area.width == 0 || i >= argc || display == nullptr ||
      !XTestQueryExtension(display, &event, &error, &major, &minor)) {
    std::fprintf(stderr, "usage: interact --area WxH+X+Y [--quiet-ms MS] [--timeout-ms MS] ACTION...\n"
                         "(needs an X display with the XTEST and MIT-SHM extensions)\n");
    return 2;
  }
  int status = 0;
  {
    Session session(display, area, quietMs, timeoutMs);
    if (!session.Ok()) {
      std::fprintf(stderr, "cannot read the screen through shared memory as 32-bit pixels\n");
      status = 1;
    }
    auto has = [&](int n) { return i + n < argc; };
    while (status == 0 && i < argc) {
      const std::string action = argv[i];
      bool ok = true;
      if (action == "ready" && has(1)) {
        ok = session.Ready(std::atof(argv[i + 1]));
        i += 2;
      } else if (action == "point" && has(2)) {
        session.Point(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
        i += 3;
      } else if (action == "quiet" && has(1)) {
        session.SetQuiet(std::atof(argv[i + 1]));
        i += 2;
      } else if (action == "key" && has(1)) {
        const char* key = argv[i + 1];
        const bool counted = has(2) && std::isdigit(static_cast<unsigned char>(argv[i + 2][0]));
        const int presses = counted ? std::max(1, std::atoi(argv[i + 2])) : 1;
        i += counted ? 3 : 2;
        if (has(4) && std::strcmp(argv[i], "then") == 0) {
          session.SetFollower(argv[i + 1], std::atof(argv[i + 2]), std::atoi(argv[i + 3]), std::atoi(argv[i + 4]));
          i += 5;
        }
        ok = session.Key(key, presses);
      } else if (action == "drag" && has(4)) {
        const bool turns = has(5) && std::isdigit(static_cast<unsigned char>(argv[i + 5][0]));
        ok = session.Drag(std::max(1, std::atoi(argv[i + 1])), std::atoi(argv[i + 2]), std::atoi(argv[i + 3]),
                          std::atof(argv[i + 4]), turns ? std::atoi(argv[i + 5]) : 0);
        i += turns ? 6 : 5;
      } else if (action == "names") {
        session.Names();
        i += 1;
      } else {
        std::fprintf(stderr, "unknown or incomplete action %s\n", argv[i]);
        status = 2;
      }
      std::fflush(stdout);
      if (!ok) status = 1;
    }
  }
  XCloseDisplay(display);
  return status;
}
