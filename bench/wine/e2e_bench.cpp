// What a user waits for, timed on the real vistrel.exe from outside: start to picture, start in
// a huge folder, the Right arrow at one step per second and held down, and the memory the
// viewer holds while stepping (and, fast alone, stepping through 100 MP pictures). Every figure
// is a median measured in this run for the vistrel.exe built beside it ("fast") and for an
// earlier build of it, runs of the two taking turns, and the start is also timed for feh, a
// native viewer, in the same rounds. Prints figures; it is not a test.
// bench/e2e.sh builds both and runs it.
//
//   e2e_bench.exe DATA_FOLDER --earlier EARLIER_EXE [--quick] [--x-helper WATCH_START] [--trace]
//                 [--formats]
//   e2e_bench.exe DATA_FOLDER --start-pictures
//
// EARLIER_EXE (Windows spelling) is the earlier build's vistrel.exe, timed as the second column.
// DATA_FOLDER (Windows spelling) keeps the pictures and folders it makes on the first run; its
// "many" folder of 20,000 small JPEGs is made by bench/e2e.sh (far quicker outside Wine).
// --x-helper names bench/x11/watch_start, which times feh on the same screen.
// --trace prints every change of the picture area seen while waiting.
// --formats times only the other formats (PNG, PNG with alpha, BMP, TIFF, GIF, WebP, AVIF, HEIC,
// JPEG XL; the last four also a step onto a prepared picture of theirs) from start to
// picture, with feh and the memory held, from the files bench/e2e.sh makes in DATA_FOLDER\formats.
// --start-pictures only makes the pictures bench/start_from_linux.sh starts the viewer on (the
// first 1 MP, 24 MP and 100 MP pictures, one/ and many/ start.jpg) and ends.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "picture/win32/dib_image.h"
#include "support/photo_jpeg.h"
#include "support/screen_watch.h"
#include "support/test_paths.h"
#include "support/viewer_driver.h"

namespace {

enum class ViewerMode { fast, earlier };
const ViewerMode kModes[] = {ViewerMode::fast, ViewerMode::earlier};
const char* ModeName(ViewerMode mode) { return mode == ViewerMode::fast ? "fast" : "earlier build"; }

constexpr int kSampledRows = 32;
constexpr int kDistinctPictures = 6;
// Names per stepping folder: more than the presses of a held key, so the caption names the
// file the presses end on only once, at the end.
constexpr int kNamesPerFolder = 72;
constexpr int kFirstSteppedIndex = 40;
constexpr double kKeyRepeatMs = 33;
constexpr double kStepPaceMs = 1000;
constexpr DWORD kWindowTimeoutMs = 20000;
const Rgb kBackground{250, 250, 250};
const wchar_t kStartName[] = L"start.jpg";

struct PictureSet {
  const char* label;
  const wchar_t* prefix;
  int width;
  int height;
  uint32_t seed;  // of the first picture; the others follow
};
const PictureSet k24Mp{"24 MP", L"24mp", 6000, 4000, 1};
const PictureSet k12Mp{"12 MP", L"12mp", 4000, 3000, 11};
const PictureSet k1Mp{"1 MP", L"1mp", 1224, 816, 21};
const PictureSet k100Mp{"100 MP", L"100mp", 12000, 8400, 31};

struct Options {
  std::wstring data;
  std::wstring xHelper;
  bool quick = false;
  bool formats = false;
  bool startPicturesOnly = false;
};

// Set once from the command line before any measurement.
bool traceStates = false;
std::wstring earlierExe;

// The program each mode starts.
std::wstring ExeFor(ViewerMode mode) { return mode == ViewerMode::fast ? ViewerExePath() : earlierExe; }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring TwoDigits(int n) { return (n < 10 ? L"0" : L"") + std::to_wstring(n); }

// ---- the pictures and folders, made once and kept ------------------------------------------

std::wstring PicturePath(const Options& options, const PictureSet& set, int content) {
  return options.data + L"\\pictures\\" + set.prefix + L"-" + std::to_wstring(content + 1) + L".jpg";
}

std::wstring SteppingFolder(const Options& options, const PictureSet& set) {
  return options.data + L"\\folder-" + set.prefix;
}

// Entry i of a stepping folder shows distinct picture i mod kDistinctPictures, so neighbours
// always differ.
std::wstring SteppingName(int index) { return L"p" + TwoDigits(index + 1) + L".jpg"; }
int ContentOf(int index) { return index % kDistinctPictures; }

bool LinkOrCopy(const std::wstring& existing, const std::wstring& link) {
  if (Exists(link)) return true;
  return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) ||
         CopyFileW(existing.c_str(), link.c_str(), TRUE);
}

bool MakePicture(const std::wstring& path, int width, int height, uint32_t seed) {
  if (Exists(path)) return true;
  const double start = NowMs();
  if (!WritePhotoJpeg(path, width, height, seed)) {
    std::printf("could not write %s\n", Narrow(path).c_str());
    return false;
  }
  std::printf("made %s (%d x %d) in %.0f ms\n", Narrow(path).c_str(), width, height, NowMs() - start);
  std::fflush(stdout);
  return true;
}

// A folder's content is complete once its marker exists; the marker is written last.
bool FolderDone(const std::wstring& folder) { return Exists(folder + L".done"); }
void MarkFolderDone(const std::wstring& folder) {
  KernelHandle marker(CreateFileW((folder + L".done").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool MakeData(const Options& options, const std::vector<PictureSet>& sets) {
  CreateDirectoryW(options.data.c_str(), nullptr);
  CreateDirectoryW((options.data + L"\\pictures").c_str(), nullptr);
  for (const PictureSet& set : sets) {
    for (int content = 0; content < kDistinctPictures; ++content) {
      if (!MakePicture(PicturePath(options, set, content), set.width, set.height, set.seed + content))
        return false;
    }
  }
  for (const PictureSet& set : sets) {
    const std::wstring folder = SteppingFolder(options, set);
    if (FolderDone(folder)) continue;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < kNamesPerFolder; ++i) {
      if (!LinkOrCopy(PicturePath(options, set, ContentOf(i)), folder + L"\\" + SteppingName(i)))
        return false;
    }
    MarkFolderDone(folder);
  }
  const std::wstring one = options.data + L"\\one";
  CreateDirectoryW(one.c_str(), nullptr);
  if (!LinkOrCopy(PicturePath(options, k24Mp, 0), one + L"\\" + kStartName)) return false;

  // The script lists the 20,000 small files; the start file joins them here.
  const std::wstring many = options.data + L"\\many";
  if (FolderDone(many) && !LinkOrCopy(PicturePath(options, k24Mp, 0), many + L"\\" + kStartName))
    return false;
  return true;
}

// What bench/start_from_linux.sh needs: the first picture of each size and the start files.
bool MakeStartPictures(const Options& options) {
  CreateDirectoryW(options.data.c_str(), nullptr);
  CreateDirectoryW((options.data + L"\\pictures").c_str(), nullptr);
  for (const PictureSet& set : {k1Mp, k24Mp, k100Mp}) {
    if (!MakePicture(PicturePath(options, set, 0), set.width, set.height, set.seed)) return false;
  }
  const std::wstring one = options.data + L"\\one";
  CreateDirectoryW(one.c_str(), nullptr);
  if (!LinkOrCopy(PicturePath(options, k24Mp, 0), one + L"\\" + kStartName)) return false;
  const std::wstring many = options.data + L"\\many";
  return FolderDone(many) && LinkOrCopy(PicturePath(options, k24Mp, 0), many + L"\\" + kStartName);
}

// ---- one viewer, watched from outside ------------------------------------------------------

std::wstring Caption(const std::wstring& name) { return L"Vistrel - " + name; }

// A picture fitted into the area with background margins: most of the area covered, some of it
// still background. The window before its first paint covers all of it, the bare background
// none. (A picture of exactly the area's shape would fail this; none of ours has it.)
bool LooksLikeFittedPicture(const std::vector<uint32_t>& pixels) {
  const double covered = CoveredFraction(pixels, kBackground, 2);
  return covered >= 0.5 && covered <= 0.98;
}

// With a reference, the pixels must be the same picture drawn the same way, give or take a
// little; without one they must look like a fitted picture.
bool ShowsPicture(const std::vector<uint32_t>& pixels, const std::vector<uint32_t>* reference) {
  if (reference != nullptr && !reference->empty()) return MatchingFraction(pixels, *reference, 12) >= 0.9;
  return LooksLikeFittedPicture(pixels);
}

struct ProcessMemory {
  bool ok = false;
  double peakWorkingSetMb = 0;
  double workingSetMb = 0;
  double anonymousMb = 0;
};

// Read through a handle of our own with the rights the call needs. Wine 8 fills them from the
// viewer's Unix process (/proc/PID/status): peak working set = VmHWM, working set = VmRSS,
// pagefile usage = RssAnon + VmSwap; it leaves PrivateUsage at 0, so that one is not used.
ProcessMemory ReadProcessMemory(DWORD processId) {
  ProcessMemory memory;
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  if (!process || !GetProcessMemoryInfo(process.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                        sizeof counters)) {
    return memory;
  }
  const double mb = 1024.0 * 1024.0;
  memory.ok = true;
  memory.peakWorkingSetMb = static_cast<double>(counters.PeakWorkingSetSize) / mb;
  memory.workingSetMb = static_cast<double>(counters.WorkingSetSize) / mb;
  memory.anonymousMb = static_cast<double>(counters.PagefileUsage) / mb;
  return memory;
}

struct Timing {
  bool ok = false;
  double ms = 0;
  std::string note;  // why it failed
};

// How often the screen was read, over every wait of the run. Main thread only.
struct PollStats {
  double periods = 0;
  double totalMs = 0;
  void Add(double count, double meanPeriodMs) {
    if (count <= 0 || meanPeriodMs <= 0) return;
    periods += count;
    totalMs += meanPeriodMs * count;
  }
  double MeanMs() const { return periods > 0 ? totalMs / periods : 0; }
  std::string Text() const {
    char text[64];
    std::snprintf(text, sizeof text, "every %.1f ms on average (%.0f Hz)", MeanMs(),
                  MeanMs() > 0 ? 1000 / MeanMs() : 0.0);
    return text;
  }
};
PollStats viewerPolls;
PollStats fehPolls;

class WatchedViewer {
 public:
  WatchedViewer() = default;
  ~WatchedViewer() { Close(); }
  WatchedViewer(const WatchedViewer&) = delete;
  WatchedViewer& operator=(const WatchedViewer&) = delete;

  // Starts the viewer on `path` with no saved placement (so maximised, as on a first run) and
  // times process creation to the first capture of the picture's final state under a caption
  // naming `name`.
  Timing Start(const std::wstring& path, const std::wstring& name, ViewerMode mode,
               const std::vector<uint32_t>* reference) {
    RemoveSettingsFile();
    std::string error;
    const double created = NowMs();
    if (!viewer_.Start(ExeFor(mode), L"\"" + path + L"\"", &error) ||
        !viewer_.WaitForWindow(kWindowTimeoutMs, &error, 1)) {
      return Timing{false, 0, error};
    }
    WaitUntil([&] { return viewer_.IsMaximized(); }, 3000, 1);
    area_ = viewer_.ClientScreenEdges();
    sampler_ = std::make_unique<RowSampler>(area_, kSampledRows);
    if (!sampler_->Ok()) return Timing{false, 0, "could not read the screen"};
    const std::wstring expected = Caption(name);
    WatchRules rules = Rules(created, reference);
    rules.timeoutMs = 60000;
    const WatchResult watch =
        WatchUntilFinal(*sampler_, created, rules, [&](const std::vector<uint32_t>& pixels) {
          return viewer_.Caption() == expected && ShowsPicture(pixels, reference);
        });
    return Finish(watch, created, expected, reference);
  }

  // Posts one Right arrow and times it to the first capture of the next picture's final state
  // under a caption naming `name`.
  Timing StepRight(const std::wstring& name, const std::vector<uint32_t>* reference) {
    const std::vector<uint32_t> before = shown_;
    const std::wstring expected = Caption(name);
    const double pressed = NowMs();
    WatchRules rules = Rules(pressed, reference);
    rules.timeoutMs = 60000;
    viewer_.PostKey(VK_RIGHT);
    const WatchResult watch =
        WatchUntilFinal(*sampler_, pressed, rules, [&](const std::vector<uint32_t>& pixels) {
          return viewer_.Caption() == expected && pixels != before && ShowsPicture(pixels, reference);
        });
    return Finish(watch, pressed, expected, reference);
  }

  // Holds the Right arrow for `presses` auto-repeat periods (a key-down each), lets go, and
  // times the release to the first capture of the final picture, which must be `name`'s.
  // While the key is down the screen is read between presses: *picturesShown counts the
  // different pictures that reached it (a state that looks like a fitted picture and differs from
  // the last one counted on a tenth of the area or more).
  Timing HoldRight(int presses, const std::wstring& name, const std::vector<uint32_t>* reference,
                   int* picturesShown = nullptr) {
    const std::wstring expected = Caption(name);
    const double first = NowMs();
    std::vector<uint32_t> pixels, counted = shown_;
    int shownCount = 0;
    for (int i = 0; i < presses; ++i) {
      while (NowMs() < first + i * kKeyRepeatMs - 2) {
        if (!sampler_->Capture(&pixels)) break;
        if (LooksLikeFittedPicture(pixels) && MatchingFraction(pixels, counted, 12) < 0.9) {
          ++shownCount;
          counted = pixels;
        }
      }
      SleepUntilMs(first + i * kKeyRepeatMs);
      if (i == 0) {
        viewer_.PostKeyDown(VK_RIGHT);
      } else {
        viewer_.PostKeyRepeat(VK_RIGHT);
      }
    }
    SleepUntilMs(first + presses * kKeyRepeatMs);
    if (picturesShown != nullptr) *picturesShown = shownCount;
    const double released = NowMs();
    viewer_.PostKeyUp(VK_RIGHT);
    WatchRules rules = Rules(released, reference);
    rules.timeoutMs = 600000;
    // No single step takes this long: a picture that stays longer under another caption is
    // where the presses ended.
    rules.stuckMs = 30000;
    const WatchResult watch =
        WatchUntilFinal(*sampler_, released, rules, [&](const std::vector<uint32_t>& pixels) {
          return viewer_.Caption() == expected && ShowsPicture(pixels, reference);
        });
    return Finish(watch, released, expected, reference);
  }

  const std::vector<uint32_t>& Shown() const { return shown_; }
  ProcessMemory Memory() const { return ReadProcessMemory(viewer_.ProcessId()); }
  RECT Area() const { return area_; }

  void Close() {
    if (!viewer_.Running()) return;
    viewer_.RequestClose();
    if (!viewer_.WaitForExit(10000, nullptr)) viewer_.Terminate();
    RemoveSettingsFile();
  }

 private:
  // With --trace every new state is printed: when, how much of the area it covers, how well it
  // matches the reference, and the caption at that moment.
  WatchRules Rules(double startMs, const std::vector<uint32_t>* reference) const {
    WatchRules rules;
    if (!traceStates) return rules;
    rules.onNewState = [this, startMs, reference](double ms, const std::vector<uint32_t>& pixels) {
      std::printf("      +%.0f ms: covers %.3f, matches the reference %.3f, caption \"%s\"\n", ms - startMs,
                  CoveredFraction(pixels, kBackground, 2),
                  reference != nullptr ? MatchingFraction(pixels, *reference, 12) : -1.0,
                  Narrow(viewer_.Caption()).c_str());
    };
    return rules;
  }

  Timing Finish(const WatchResult& watch, double fromMs, const std::wstring& expected,
                const std::vector<uint32_t>* reference) {
    viewerPolls.Add(watch.captures - 1, watch.meanPeriodMs);
    shown_ = watch.pixels;
    if (watch.reached) return Timing{true, watch.firstSeenMs - fromMs, ""};
    char seen[96];
    std::snprintf(seen, sizeof seen, "; the area covered %.2f and matched the reference %.2f",
                  CoveredFraction(watch.pixels, kBackground, 2),
                  reference != nullptr ? MatchingFraction(watch.pixels, *reference, 12) : -1.0);
    return Timing{false, 0,
                  "expected \"" + Narrow(expected) + "\" with its picture, got \"" +
                      Narrow(viewer_.Caption()) + "\"" + seen};
  }

  ViewerProcess viewer_;
  RECT area_ = {};
  std::unique_ptr<RowSampler> sampler_;
  std::vector<uint32_t> shown_;
};

// ---- feh, the native reference -------------------------------------------------------------

// The Unix spelling of a Windows path, from Wine's own mapping; empty outside Wine.
std::string UnixPathOf(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
  if (found == nullptr) return "";
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(found));
  char* unixPath = toUnix(path.c_str());  // from the process heap; freed below
  if (unixPath == nullptr) return "";
  std::string copy = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return copy;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// One start of feh on the same file in a window over the same screen area, timed by the X
// helper the same way as the viewer. Wine starts the helper, a Unix program, as one.
class FehReference {
 public:
  FehReference(const Options& options, const std::wstring& picture)
      : helper_(options.xHelper),
        resultPath_(options.data + L"\\feh-result.txt"),
        resultUnix_(UnixPathOf(resultPath_)),
        pictureUnix_(UnixPathOf(picture)) {}

  bool Available() const { return !helper_.empty() && !resultUnix_.empty() && !pictureUnix_.empty(); }

  Timing Run(const RECT& area) const {
    char geometry[64];
    std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", area.right - area.left,
                  area.bottom - area.top, area.left, area.top);
    const std::wstring command =
        L"\"" + helper_ + L"\" --area " + Widen(geometry) +
        L" --runs 1 --warmup 0 --quiet-ms 500 --result \"" + Widen(resultUnix_) + L"\" -- feh --geometry " +
        Widen(geometry) + L" --scale-down --image-bg black --no-menus \"" + Widen(pictureUnix_) + L"\"";
    DeleteFileW(resultPath_.c_str());
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
      return Timing{false, 0, "could not start " + Narrow(helper_)};
    }
    // Wine gives no waitable handle for a Unix process: the helper's result file, which it
    // writes last of all, tells that it is done. It gives up on its own after 30 s.
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    if (!WaitUntil([&] { return Exists(resultPath_); }, 90000, 20))
      return Timing{false, 0, "the X helper hung"};
    Sleep(100);  // the helper closes its display and ends
    FILE* file = _wfopen(resultPath_.c_str(), L"r");
    double ms = 0, periodMs = 0;
    const bool read = file != nullptr && std::fscanf(file, "%lf %lf", &ms, &periodMs) == 2;
    if (file != nullptr) std::fclose(file);
    if (!read) return Timing{false, 0, "feh did not show the picture in time"};
    fehPolls.Add(1, periodMs);
    return Timing{true, ms, ""};
  }

 private:
  std::wstring helper_;
  std::wstring resultPath_;
  std::string resultUnix_;
  std::string pictureUnix_;
};

// ---- the figures ---------------------------------------------------------------------------

struct Samples {
  std::vector<double> values;
  std::vector<std::string> failures;
  void Add(const Timing& timing) {
    if (timing.ok) {
      values.push_back(timing.ms);
    } else {
      failures.push_back(timing.note);
    }
  }
  bool Ok() const { return !values.empty() && failures.empty(); }
  double Median() const { return ::Median(values); }
};

std::string Ms(const Samples& samples) {
  if (samples.values.empty()) return "failed";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f ms", samples.Median());
  return text;
}

std::string Ratio(double a, double b) {
  if (a <= 0 || b <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", a / b);
  return text;
}

std::string Runs(const Samples& samples) {
  std::string text;
  for (double value : samples.values)
    text += (text.empty() ? "" : " ") + std::to_string(static_cast<int>(value + 0.5));
  return text.empty() ? "none" : text;
}

void PrintRow(const std::string& what, const std::string& fast, const std::string& earlier,
              const std::string& ratio, const std::string& target) {
  std::printf("%-50s %10s %10s %12s   %s\n", what.c_str(), fast.c_str(), earlier.c_str(), ratio.c_str(),
              target.c_str());
}

void PrintHeader() {
  std::printf("\n%-50s %10s %10s %12s   %s\n", "figure (medians)", "fast", "earlier", "fast/earlier", "target");
}

void PrintRuns(const std::string& what, const Samples& fast, const Samples& earlier) {
  std::printf("    runs, %s: fast %s; earlier build %s\n", what.c_str(), Runs(fast).c_str(),
              Runs(earlier).c_str());
  for (const std::string& failure : fast.failures)
    std::printf("    ! %s, fast: %s\n", what.c_str(), failure.c_str());
  for (const std::string& failure : earlier.failures) {
    std::printf("    ! %s, earlier build: %s\n", what.c_str(), failure.c_str());
  }
}

// (l) and (d): rounds of starts in the 1-file folder, of feh, and of starts in the 20,000-file
// folder, the two modes taking turns in alternating order. The first round warms the file cache
// and Wine up, gives each mode its reference picture and is not counted.
void StartFigures(const Options& options) {
  const int rounds = options.quick ? 3 : 5;
  const std::wstring one = options.data + L"\\one\\" + kStartName;
  const std::wstring many = options.data + L"\\many\\" + kStartName;
  const bool manyReady = Exists(many);
  const FehReference feh(options, one);
  Samples oneSamples[2], manySamples[2], fehSamples;
  std::vector<uint32_t> references[2];
  RECT area = {};
  for (int round = 0; round <= rounds; ++round) {
    const int order[2] = {round % 2, 1 - round % 2};
    for (int m : order) {
      WatchedViewer viewer;
      const Timing timing = viewer.Start(one, kStartName, kModes[m], &references[m]);
      if (round == 0 && timing.ok) references[m] = viewer.Shown();
      if (timing.ok && area.right == area.left) area = viewer.Area();
      if (round > 0) oneSamples[m].Add(timing);
    }
    if (feh.Available() && area.right > area.left) {
      const Timing timing = feh.Run(area);
      if (round > 0) fehSamples.Add(timing);
    }
    for (int m : order) {
      if (!manyReady) break;
      WatchedViewer viewer;
      const Timing timing = viewer.Start(many, kStartName, kModes[m], &references[m]);
      if (round > 0) manySamples[m].Add(timing);
    }
  }

  const double oneFast = oneSamples[0].Median(), oneEarlier = oneSamples[1].Median();
  PrintRow("(l) start -> 24 MP picture (1-file folder)", Ms(oneSamples[0]), Ms(oneSamples[1]),
           Ratio(oneFast, oneEarlier), "");
  if (feh.Available()) {
    const double fehMs = fehSamples.Median();
    PrintRow("    feh, same file, window over the same area", Ms(fehSamples), "", "", "");
    PrintRow("    vistrel / feh", Ratio(oneFast, fehMs), Ratio(oneEarlier, fehMs), "", "<= 2");
  } else {
    std::printf("    feh not timed: run through bench/e2e.sh (--x-helper) under Wine\n");
  }
  PrintRuns("1-file folder", oneSamples[0], oneSamples[1]);
  if (feh.Available()) {
    std::printf("    runs, feh: %s\n", Runs(fehSamples).c_str());
    for (const std::string& failure : fehSamples.failures) std::printf("    ! feh: %s\n", failure.c_str());
  }
  if (!manyReady) {
    std::printf("(d) not measured: %s is missing (bench/e2e.sh makes that folder)\n", Narrow(many).c_str());
    return;
  }
  const double manyFast = manySamples[0].Median(), manyEarlier = manySamples[1].Median();
  PrintRow("(d) start -> 24 MP picture (20,000-file folder)", Ms(manySamples[0]), Ms(manySamples[1]),
           Ratio(manyFast, manyEarlier), "");
  PrintRow("    20,000-file / 1-file folder", Ratio(manyFast, oneFast), Ratio(manyEarlier, oneEarlier), "",
           "<= 1.2");
  PrintRuns("20,000-file folder", manySamples[0], manySamples[1]);
}

// (f) Start -> picture for pictures of other formats, the two modes taking turns, feh in the same
// rounds; and the peak working set of each start against its 32-bit bitmap and a start on a 1 MP
// picture of the same format. Each file sits alone in its folder.
struct FormatFile {
  const char* label;
  const wchar_t* folder;  // under DATA_FOLDER\formats, holding `name` (and `next`) alone
  const wchar_t* name;
  int width, height;
  const wchar_t* smallFolder;  // a 1 MP picture of the same format, alone in its folder
  bool feh = true;             // feh (imlib2) reads it
  // Another picture after `name` in the folder `folder`-step (which holds `name` too), for a step
  // onto a prepared one; the start and its memory are measured without a neighbour to prepare.
  const wchar_t* next = nullptr;
  bool earlierReads = true;       // the earlier build shows it (it predates the newer formats)
};
const FormatFile kFormatFiles[] = {
    {"24 MP PNG", L"png24", L"24mp.png", 6000, 4000, L"png1"},
    {"12 MP PNG with alpha", L"pngalpha12", L"12mp-alpha.png", 4000, 3000, L"pngalpha1"},
    {"24 MP BMP", L"bmp24", L"24mp.bmp", 6000, 4000, L"bmp1"},
    // Still decoded by the imaging library: measured to see whether moving them would pay.
    {"24 MP TIFF", L"tiff24", L"24mp.tif", 6000, 4000, L"tiff1"},
    {"12 MP GIF", L"gif12", L"12mp.gif", 4000, 3000, L"gif1"},
    {"12 MP WebP", L"webp12", L"a.webp", 4000, 3000, L"webp1", true, L"b.webp", false},
    {"12 MP AVIF", L"avif12", L"a.avif", 4000, 3000, L"avif1", false, L"b.avif", false},
    {"12 MP HEIC", L"heic12", L"a.heic", 4000, 3000, L"heic1", false, L"b.heic", false},
    {"12 MP JPEG XL", L"jxl12", L"a.jxl", 4000, 3000, L"jxl1", false, L"b.jxl", false},
};

std::wstring FirstFileIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return L"";
  std::wstring name;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) name = found.cFileName;
  } while (name.empty() && FindNextFileW(find, &found));
  FindClose(find);
  return name;
}

void FormatFigures(const Options& options) {
  const int rounds = options.quick ? 3 : 5;
  for (const FormatFile& f : kFormatFiles) {
    const std::wstring folder = options.data + L"\\formats\\" + f.folder;
    const std::wstring path = folder + L"\\" + f.name;
    if (!Exists(path)) {
      std::printf("(f) %s not measured: %s is missing (bench/e2e.sh --formats makes it)\n", f.label, Narrow(path).c_str());
      continue;
    }
    const FehReference feh(f.feh ? options : Options{}, path);
    Samples samples[2], fehSamples;
    std::vector<double> peaks[2];
    std::vector<uint32_t> references[2];
    RECT area = {};
    for (int round = 0; round <= rounds; ++round) {
      const int order[2] = {round % 2, 1 - round % 2};
      for (int m : order) {
        if (kModes[m] == ViewerMode::earlier && !f.earlierReads) continue;
        WatchedViewer viewer;
        const Timing timing = viewer.Start(path, f.name, kModes[m], &references[m]);
        if (round == 0 && timing.ok) references[m] = viewer.Shown();
        if (timing.ok && area.right == area.left) area = viewer.Area();
        const ProcessMemory memory = viewer.Memory();
        if (round > 0) samples[m].Add(timing);
        if (round > 0 && timing.ok && memory.ok) peaks[m].push_back(memory.peakWorkingSetMb);
      }
      if (feh.Available() && area.right > area.left) {
        const Timing timing = feh.Run(area);
        if (round > 0) fehSamples.Add(timing);
      }
    }
    // The same start on a 1 MP picture of the format: what the viewer holds besides the picture.
    double smallPeak = 0;
    const std::wstring smallFolder = options.data + L"\\formats\\" + f.smallFolder;
    const std::wstring smallName = FirstFileIn(smallFolder);
    if (!smallName.empty()) {
      std::vector<double> smallPeaks;
      for (int round = 0; round < 3; ++round) {
        WatchedViewer viewer;
        const Timing timing = viewer.Start(smallFolder + L"\\" + smallName, smallName, ViewerMode::fast, nullptr);
        const ProcessMemory memory = viewer.Memory();
        if (timing.ok && memory.ok) smallPeaks.push_back(memory.peakWorkingSetMb);
      }
      smallPeak = Median(smallPeaks);
    }
    const double fast = samples[0].Median(), earlier = samples[1].Median();
    PrintRow(std::string("(f) start -> ") + f.label, Ms(samples[0]), Ms(samples[1]), Ratio(fast, earlier), "");
    if (feh.Available()) {
      PrintRow("    feh, same file, window over the same area", Ms(fehSamples), "", "", "");
      PrintRow("    vistrel / feh", Ratio(fast, fehSamples.Median()), Ratio(earlier, fehSamples.Median()), "",
               "<= 1.25 (of the larger of feh and a bare window)");
    }
    PrintRuns(f.label, samples[0], samples[1]);
    if (f.next != nullptr) {
      // A step onto the second picture once it has been prepared ahead (the start's neighbour).
      Samples steps;
      std::vector<uint32_t> nextReference;
      const std::wstring stepPath = folder + L"-step\\" + f.name;
      for (int round = 0; round <= rounds; ++round) {
        WatchedViewer viewer;
        const Timing started = viewer.Start(stepPath, f.name, ViewerMode::fast, &references[0]);
        if (!started.ok) continue;
        // The neighbour decoded and fitted: it takes about as long as the start's own decode.
        Sleep(static_cast<DWORD>(std::max(3000.0, 2 * started.ms)));
        const Timing step = viewer.StepRight(f.next, &nextReference);
        if (round == 0 && step.ok) nextReference = viewer.Shown();
        if (round > 0) steps.Add(step);
      }
      PrintRow("    Right onto a prepared picture of the same kind", Ms(steps), "", "", "<= 20 ms");
    }
    const double bitmapMb = 4.0 * f.width * f.height / (1024.0 * 1024.0);
    const double peakFast = Median(peaks[0]), peakEarlier = Median(peaks[1]);
    char text[3][32];
    std::snprintf(text[0], sizeof text[0], "%.0f MB", peakFast);
    std::snprintf(text[1], sizeof text[1], "%.0f MB", peakEarlier);
    PrintRow("    peak working set after the start", text[0], text[1], Ratio(peakFast, peakEarlier), "");
    PrintRow("    peak / 32-bit bitmap", Ratio(peakFast, bitmapMb), Ratio(peakEarlier, bitmapMb), "", "");
    if (smallPeak > 0) {
      std::snprintf(text[0], sizeof text[0], "%.0f MB", peakFast - smallPeak - bitmapMb);
      std::snprintf(text[1], sizeof text[1], "%.0f MB", peakEarlier - smallPeak - bitmapMb);
      std::snprintf(text[2], sizeof text[2], "%.0f MB", smallPeak);
      PrintRow("    1 MP start of the same format (fast)", text[2], "", "", "");
      PrintRow("    peak - 1 MP start - 32-bit bitmap", text[0], text[1], "", "<= 30 MB");
    }
    std::fflush(stdout);
  }
}

struct StepFigures {
  Samples paced;
  Samples held;
  std::vector<double> heldPicturesPerSecond;  // different pictures on the screen while the key was down
  ProcessMemory afterPace;
  ProcessMemory afterHold;
};

// Two seconds of auto-repeat: long enough to count the pictures shown a second to half a picture.
int HeldPresses(const Options&) { return static_cast<int>(2000 / kKeyRepeatMs); }

enum class HeldKey { measure, skip };

// (e), and with HeldKey::measure the held key and (m), for one picture set in one mode, added to
// *figures: start on entry kFirstSteppedIndex, step once a second (or as soon as the picture is
// final, when that takes longer) through all distinct pictures, whose final states become the
// references, then hold the key.
void SteppingRun(const Options& options, const PictureSet& set, ViewerMode mode, HeldKey heldKey,
                 StepFigures* figures) {
  WatchedViewer viewer;
  int index = kFirstSteppedIndex;
  const Timing started = viewer.Start(SteppingFolder(options, set) + L"\\" + SteppingName(index),
                                      SteppingName(index), mode, nullptr);
  if (!started.ok) {
    figures->paced.failures.push_back("start: " + started.note);
    return;
  }
  std::vector<std::vector<uint32_t>> references(kDistinctPictures);
  references[ContentOf(index)] = viewer.Shown();
  Sleep(static_cast<DWORD>(kStepPaceMs));  // a look at the first picture, as a user would
  for (int step = 0; step < kDistinctPictures; ++step) {
    const double pressed = NowMs();
    index = (index + 1) % kNamesPerFolder;
    std::vector<uint32_t>& reference = references[ContentOf(index)];
    const Timing timing = viewer.StepRight(SteppingName(index), &reference);
    figures->paced.Add(timing);
    if (!timing.ok) return;
    if (reference.empty()) reference = viewer.Shown();
    SleepUntilMs(pressed + kStepPaceMs);
  }
  figures->afterPace = viewer.Memory();
  if (heldKey == HeldKey::skip) return;
  const int end = (index + HeldPresses(options)) % kNamesPerFolder;
  int shown = 0;
  figures->held.Add(viewer.HoldRight(HeldPresses(options), SteppingName(end), &references[ContentOf(end)], &shown));
  figures->heldPicturesPerSecond.push_back(shown * 1000.0 / (HeldPresses(options) * kKeyRepeatMs));
  figures->afterHold = viewer.Memory();
}

std::string MemoryText(const ProcessMemory& memory) {
  if (!memory.ok) return "unread";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MB", memory.peakWorkingSetMb);
  return text;
}

// The halving levels kept with each of the three pictures (shown and two prepared), 32-bit, down
// to the fitted size in a 1600 x 981 area.
double ReductionsMb(const PictureSet& set) {
  const double fittedWidth = std::min(1600.0, 981.0 * set.width / set.height);
  double bytes = 0;
  for (int w = set.width / 2, h = set.height / 2; w >= fittedWidth; w /= 2, h /= 2) bytes += 4.0 * w * h;
  return 3 * bytes / (1024.0 * 1024.0);
}

void MemoryFigures(const PictureSet& set, const StepFigures (&figures)[2]) {
  // One picture as a 24-bit DIB section, rows padded to four bytes.
  const double dibMb = static_cast<double>((set.width * 3 + 3) & ~3) * set.height / (1024.0 * 1024.0);
  const double budgetMb = 3 * dibMb + ReductionsMb(set) + 60;
  const ProcessMemory& fast = figures[0].afterPace;
  const ProcessMemory& earlier = figures[1].afterPace;
  char target[64];
  std::snprintf(target, sizeof target, "<= 3 x DIB + levels + 60 MB = %.0f MB", budgetMb);
  PrintRow(std::string("(m) peak working set after stepping, ") + set.label, MemoryText(fast),
           MemoryText(earlier), Ratio(fast.peakWorkingSetMb, earlier.peakWorkingSetMb), target);
  PrintRow("    peak / (3 x DIB + levels + 60 MB)", Ratio(fast.peakWorkingSetMb, budgetMb),
           Ratio(earlier.peakWorkingSetMb, budgetMb), "", "<= 1");
  PrintRow("    peak after the held key as well", MemoryText(figures[0].afterHold),
           MemoryText(figures[1].afterHold), "", "");
  for (int m = 0; m < 2; ++m) {
    const ProcessMemory& memory = figures[m].afterPace;
    if (!memory.ok) continue;
    std::printf("    %s after stepping: working set %.0f MB, of which anonymous %.0f MB\n",
                ModeName(kModes[m]), memory.workingSetMb, memory.anonymousMb);
  }
}

void SteppingFigures(const Options& options, const std::vector<PictureSet>& sets) {
  for (const PictureSet& set : sets) {
    // Each mode twice, in the order fast, earlier, earlier, fast: a drift of the machine's
    // load over these minutes then falls on both alike.
    StepFigures figures[2];
    SteppingRun(options, set, ViewerMode::fast, HeldKey::measure, &figures[0]);
    SteppingRun(options, set, ViewerMode::earlier, HeldKey::measure, &figures[1]);
    SteppingRun(options, set, ViewerMode::earlier, HeldKey::skip, &figures[1]);
    SteppingRun(options, set, ViewerMode::fast, HeldKey::skip, &figures[0]);
    const double fast = figures[0].paced.Median(), earlier = figures[1].paced.Median();
    PrintRow(std::string("(e) Right arrow once a second, ") + set.label, Ms(figures[0].paced),
             Ms(figures[1].paced), Ratio(fast, earlier), "<= 50 ms");
    PrintRuns(std::string("once a second, ") + set.label, figures[0].paced, figures[1].paced);
    const double heldFast = figures[0].held.Median(), heldEarlier = figures[1].held.Median();
    PrintRow("    held, " + std::to_string(HeldPresses(options)) + " key-downs: release -> final picture",
             Ms(figures[0].held), Ms(figures[1].held), Ratio(heldFast, heldEarlier),
             "ends on the right picture");
    char perSecond[2][32];
    for (int m = 0; m < 2; ++m) {
      std::snprintf(perSecond[m], sizeof perSecond[m], "%.1f", ::Median(figures[m].heldPicturesPerSecond));
    }
    PrintRow("    held: different pictures on the screen a second", perSecond[0], perSecond[1], "", ">= 8");
    std::printf("    held key ends on the right picture: fast %s, earlier build %s\n",
                figures[0].held.Ok() ? "yes" : "NO", figures[1].held.Ok() ? "yes" : "NO");
    for (int m = 0; m < 2; ++m) {
      for (const std::string& failure : figures[m].held.failures) {
        std::printf("    ! held key, %s: %s\n", ModeName(kModes[m]), failure.c_str());
      }
    }
    if (set.prefix == k24Mp.prefix) MemoryFigures(set, figures);
    std::fflush(stdout);
  }
}

// (e) and (m) at 100 MP, the fast viewer alone (what is asked of it has no ratio: a step once a
// second through the six pictures must not take longer and longer, and the memory has its
// budget).
void HundredMpFigures(const Options& options) {
  StepFigures figures[2];
  SteppingRun(options, k100Mp, ViewerMode::fast, HeldKey::skip, &figures[0]);
  PrintRow("(e) Right arrow once a second, 100 MP", Ms(figures[0].paced), "not run", "", "no growth");
  std::printf("    runs in order, 100 MP: %s\n", Runs(figures[0].paced).c_str());
  for (const std::string& failure : figures[0].paced.failures) std::printf("    ! 100 MP: %s\n", failure.c_str());
  const double dibMb = static_cast<double>((k100Mp.width * 3 + 3) & ~3) * k100Mp.height / (1024.0 * 1024.0);
  const double budgetMb = 3 * dibMb + ReductionsMb(k100Mp) + 60;
  char target[64];
  std::snprintf(target, sizeof target, "<= 3 x DIB + levels + 60 MB = %.0f MB", budgetMb);
  PrintRow("(m) peak working set after stepping, 100 MP", MemoryText(figures[0].afterPace), "", "", target);
  PrintRow("    peak / (3 x DIB + levels + 60 MB)", Ratio(figures[0].afterPace.peakWorkingSetMb, budgetMb), "", "",
           "<= 1");
  std::fflush(stdout);
}

bool ParseOptions(Options* options) {
  const std::vector<std::wstring> argv = ProgramArguments();
  const int argc = static_cast<int>(argv.size());
  bool ok = argc >= 2;
  for (int i = 1; ok && i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--quick") {
      options->quick = true;
    } else if (arg == L"--formats") {
      options->formats = true;
    } else if (arg == L"--start-pictures") {
      options->startPicturesOnly = true;
    } else if (arg == L"--trace") {
      traceStates = true;
    } else if (arg == L"--x-helper" && i + 1 < argc) {
      options->xHelper = argv[++i];
    } else if (arg == L"--earlier" && i + 1 < argc) {
      earlierExe = argv[++i];
    } else if (options->data.empty() && arg.rfind(L"--", 0) != 0) {
      options->data = arg;
    } else {
      ok = false;
    }
  }
  // Every figure but the pictures alone has the earlier build's column.
  return ok && !options->data.empty() && (options->startPicturesOnly || !earlierExe.empty());
}

}  // namespace

int main() {
  Options options;
  if (!ParseOptions(&options)) {
    std::printf("usage: e2e_bench.exe DATA_FOLDER --earlier EARLIER_EXE [--quick] [--x-helper WATCH_START] [--trace]"
                " [--formats]\n"
                "       e2e_bench.exe DATA_FOLDER --start-pictures\n");
    return 2;
  }
  if (!Exists(ViewerExePath())) {
    std::printf("vistrel.exe is not built beside the benchmark: %s\n", Narrow(ViewerExePath()).c_str());
    return 1;
  }
  if (!options.startPicturesOnly && !Exists(earlierExe)) {
    std::printf("the earlier build's vistrel.exe is missing: %s\n", Narrow(earlierExe).c_str());
    return 1;
  }
  if (!EnsureImagingStarted()) {
    std::printf("imaging library did not start\n");
    return 1;
  }
  if (options.startPicturesOnly) return MakeStartPictures(options) ? 0 : 1;
  if (options.formats) {
    PrintHeader();
    FormatFigures(options);
    return 0;
  }
  const std::vector<PictureSet> sets =
      options.quick ? std::vector<PictureSet>{k24Mp} : std::vector<PictureSet>{k24Mp, k12Mp, k1Mp};
  std::vector<PictureSet> made = sets;
  made.push_back(k100Mp);
  if (!MakeData(options, made)) return 1;

  const double started = NowMs();
  PrintHeader();
  StartFigures(options);
  std::fflush(stdout);
  SteppingFigures(options, sets);
  HundredMpFigures(options);
  std::printf("screen read as %d rows across the picture area; final = unchanged for 500 ms\n", kSampledRows);
  std::printf("  for vistrel %s, for feh %s\n", viewerPolls.Text().c_str(), fehPolls.Text().c_str());
  std::printf("measuring took %.0f s\n", (NowMs() - started) / 1000);
  return 0;
}
