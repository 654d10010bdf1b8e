// extract_bench.cc - times extract() on stored cabinets against cp and tar moving the same bytes, in
// alternating rounds, on the disk and on tmpfs, and prints the medians, their throughput, the ratio
// ours/peer, and what one file costs each side with few files and with many.
#include <fcntl.h>
#include <linux/fs.h>
#include <spawn.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/timing.h"
#include "cabinet/include/bundlex.h"
#include "tests/cabinet/support/cab_writer.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;
using cabtest::Bytes;

// Ours must reach this share of the peer's throughput.
constexpr double kTargetRatio = 1.0;
constexpr double kBytesPerMb = 1e6;

struct Options {
  size_t rounds = 7;
  size_t large_mb = 200;
  size_t small_files = 50000;
  size_t few_files = 1000;
  fs::path parent = ".";       // the work folder is made (and removed) inside it
  fs::path tmpfs = "/dev/shm";  // the small-file cases again, in a work folder here
};

const char kUsage[] =
    "usage: extract_bench [--rounds=N] [--large-mb=N] [--small-files=N] [--few-files=N] [--tmpfs=DIR] [PARENT]\n"
    "  --rounds       timed rounds of each contender per case (default 7)\n"
    "  --large-mb     size of the large-file cases in MB (default 200)\n"
    "  --small-files  file count of the many-small-files case (default 50000)\n"
    "  --few-files    file count of the case that the per-file cost is compared with (default 1000)\n"
    "  --tmpfs        a tmpfs folder where the small-file cases run again (default /dev/shm;\n"
    "                 skipped when it does not exist)\n"
    "  PARENT         folder for the temporary work folder (default: the current folder, so\n"
    "                 run it from the build folder to measure the build's own disk)\n";

std::optional<Options> parse_options(int argc, char **argv) {
  Options options;
  bool parent_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const size_t equals = arg.find('=');
    const std::string_view key = arg.substr(0, equals);
    size_t *slot = key == "--rounds"        ? &options.rounds
                   : key == "--large-mb"    ? &options.large_mb
                   : key == "--small-files" ? &options.small_files
                   : key == "--few-files"   ? &options.few_files
                                            : nullptr;
    if (key == "--tmpfs" && equals != std::string_view::npos) {
      options.tmpfs = arg.substr(equals + 1);
    } else if (slot != nullptr && equals != std::string_view::npos) {
      const std::string_view value = arg.substr(equals + 1);
      const char *end = value.data() + value.size();
      const auto parsed = std::from_chars(value.data(), end, *slot);
      if (parsed.ec != std::errc() || parsed.ptr != end || *slot == 0) return std::nullopt;
    } else if (!arg.starts_with('-') && !parent_given) {
      options.parent = arg;
      parent_given = true;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

[[noreturn]] void fail(const std::string &what) { throw std::runtime_error(what); }

// splitmix64 with fixed seeds, so that every run measures the same bytes.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  Bytes bytes(size_t nbytes) {
    Bytes out(nbytes);
    for (size_t i = 0; i < nbytes; i += 8) {
      const uint64_t word = next();
      memcpy(out.data() + i, &word, std::min<size_t>(8, nbytes - i));
    }
    return out;
  }

 private:
  uint64_t state_;
};

void write_file(const fs::path &path, const Bytes &data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out.flush()) fail("cannot write " + path.string());
}

Bytes read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  Bytes data(fs::file_size(path));
  in.read(reinterpret_cast<char *>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!in) fail("cannot read " + path.string());
  return data;
}

// Runs a program by absolute path and waits for it; anything but exit status 0 is a failure.
void run_program(const std::vector<std::string> &args) {
  std::vector<char *> argv;
  for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (error != 0) fail(args[0] + ": cannot start: " + strerror(error));
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) fail(args[0] + ": lost its child");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(args[0] + " " + args[1] + " failed");
}

// Turns the case's inputs into its files under an existing, empty output folder.
using Contender = std::function<void(const fs::path &out)>;

// One comparison: the same files as plain files (the reference, and cp's input) and as one
// stored cabinet; the peer reads the plain files or an archive made from them.
struct Case {
  std::string title;
  size_t files = 0;
  std::string peer_name;
  fs::path source;
  fs::path cabinet;
  std::vector<std::string> names;
  uint64_t payload_nbytes = 0;
  Contender peer;
  // Each run's output is deleted right after it, untimed, unless the case has many files (see
  // new_output_folder).
  bool keep_outputs = false;
};

Case write_inputs(const fs::path &folder, std::string title, std::vector<cabtest::File> files) {
  Case c;
  c.title = std::move(title);
  c.source = folder / "source";
  c.cabinet = folder / "input.cab";
  fs::create_directory(c.source);
  for (const cabtest::File &file : files) {
    write_file(c.source / file.name, file.data);
    c.names.push_back(file.name);
    c.payload_nbytes += file.data.size();
  }
  c.files = c.names.size();
  std::vector<cabtest::Folder> folders(1);
  folders[0].method_word = cabtest::kMethodStored;
  folders[0].files = std::move(files);
  write_file(c.cabinet, cabtest::write_cabinet(folders));
  return c;
}

Case large_case(const fs::path &folder, size_t total_nbytes, size_t file_count) {
  Rng rng(0x1A2B3C4D + file_count);
  std::vector<cabtest::File> files(file_count);
  for (size_t i = 0; i < file_count; ++i) {
    files[i].name = "payload" + std::to_string(i + 1) + ".bin";
    // The last file takes the remainder, so the total is exact.
    files[i].data = rng.bytes(i + 1 < file_count ? total_nbytes / file_count
                                                 : total_nbytes - (file_count - 1) * (total_nbytes / file_count));
  }
  std::string title = "stored " + std::to_string(file_count) + " x " +
                      std::to_string(total_nbytes / file_count / 1000000) + " MB";
  Case c = write_inputs(folder, std::move(title), std::move(files));
  c.peer_name = "cp";
  std::vector<std::string> args{"/bin/cp"};
  for (const std::string &name : c.names) args.push_back((c.source / name).string());
  c.peer = [args](const fs::path &out) {
    std::vector<std::string> with_target = args;
    with_target.push_back(out.string() + "/");
    run_program(with_target);
  };
  return c;
}

bool is_tmpfs(const fs::path &folder) {
  struct statfs info;
  return statfs(folder.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC;
}

// Flat names: stored folder names must already exist at the destination, which tar would not need.
Case small_case(const fs::path &folder, size_t file_count, const std::string &where) {
  static const char *const kKinds[][2] = {{"readme", ".txt"}, {"setup", ".inf"},  {"icon", ".ico"},
                                          {"strings", ".dat"}, {"module", ".dll"}, {"page", ".htm"}};
  constexpr size_t kKindCount = sizeof kKinds / sizeof kKinds[0];
  constexpr size_t kMinNbytes = 100;
  constexpr size_t kMaxNbytes = 8192;
  Rng rng(0x5EED);
  std::vector<cabtest::File> files(file_count);
  for (size_t i = 0; i < file_count; ++i) {
    const auto &kind = kKinds[i % kKindCount];
    files[i].name = kind[0] + std::to_string(i) + kind[1];
    files[i].data = rng.bytes(kMinNbytes + rng.next() % (kMaxNbytes - kMinNbytes + 1));
  }
  Case c = write_inputs(folder, std::to_string(file_count) + " small files, " + where, std::move(files));
  const fs::path list = folder / "names.txt";
  std::ofstream names(list);
  for (const std::string &name : c.names) names << name << '\n';
  if (!names.flush()) fail("cannot write " + list.string());
  const fs::path archive = folder / "input.tar";
  run_program({"/bin/tar", "-cf", archive.string(), "-C", c.source.string(), "-T", list.string()});
  c.peer_name = "tar -x";
  // tmpfs frees an inode at once, and holding every run's files there would take the memory.
  c.keep_outputs = !is_tmpfs(folder);
  c.peer = [archive](const fs::path &out) {
    run_program({"/bin/tar", "-xf", archive.string(), "-C", out.string()});
  };
  return c;
}

// The output folder must hold exactly the case's files, each equal to its source.
void verify(const Case &c, const fs::path &out, const std::string &who) {
  const auto count = std::distance(fs::directory_iterator(out), fs::directory_iterator());
  if (static_cast<size_t>(count) != c.names.size())
    fail(who + " wrote " + std::to_string(count) + " files, not " + std::to_string(c.names.size()));
  for (const std::string &name : c.names) {
    if (read_file(out / name) != read_file(c.source / name)) fail(who + " wrote a different " + name);
  }
}

// A new, empty output folder in `work` for every run. ext4 without a journal will not reuse an
// inode freed in the last minutes, so deleting 10,000 files just before a run makes each of that
// run's creates scan past them: a case with many files keeps its outputs until it ends.
fs::path new_output_folder(const fs::path &work) {
  std::string pattern = (work / "out.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) fail("cannot make an output folder in " + work.string());
  return pattern;
}

// Lets earlier writes reach the disk, untimed, so that every run starts from the same state; then
// times one run in seconds.
double timed_run(const Contender &run, const fs::path &out) {
  sync();
  const auto start = std::chrono::steady_clock::now();
  run(out);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One timed run into a new output folder, which is then deleted unless the case keeps outputs.
double timed_run_once(const Case &c, const Contender &run, const fs::path &work) {
  const fs::path out = new_output_folder(work);
  const double seconds = timed_run(run, out);
  if (!c.keep_outputs) fs::remove_all(out);
  return seconds;
}

using bench::median;

struct Result {
  std::string title;
  size_t files = 0;
  std::string peer_name;
  uint64_t payload_nbytes = 0;
  double ours_median = 0;
  double peer_median = 0;
  // The median of each round's ratio: the two runs of a round are adjacent in time, so a change in
  // the machine's load between rounds moves this less than the ratio of the medians.
  double paired_ratio = 0;
};

void print_times(const char *who, const std::vector<double> &times) {
  std::printf("  %-6s ms:", who);
  for (double t : times) std::printf(" %.1f", t * 1e3);
  std::printf("\n");
}

Result measure(const Case &c, const fs::path &work, size_t rounds) {
  const std::string cabinet = c.cabinet.string();
  const Contender ours = [&cabinet](const fs::path &out) {
    const int code = extract(cabinet.c_str(), out.c_str());
    if (code != 0) fail("extract returned " + std::to_string(code));
  };
  // The warm-up runs bring both inputs into the page cache and check both outputs once.
  const fs::path ours_check = new_output_folder(work);
  timed_run(ours, ours_check);
  verify(c, ours_check, "extract");
  const fs::path peer_check = new_output_folder(work);
  timed_run(c.peer, peer_check);
  verify(c, peer_check, c.peer_name);
  if (!c.keep_outputs) {
    fs::remove_all(ours_check);
    fs::remove_all(peer_check);
  }

  std::vector<double> ours_times;
  std::vector<double> peer_times;
  const auto time_ours = [&] { ours_times.push_back(timed_run_once(c, ours, work)); };
  const auto time_peer = [&] { peer_times.push_back(timed_run_once(c, c.peer, work)); };
  for (size_t round = 0; round < rounds; ++round) {
    // Alternating who goes first cancels what one run leaves behind for the next.
    if (round % 2 == 0) {
      time_ours();
      time_peer();
    } else {
      time_peer();
      time_ours();
    }
  }
  std::printf("%s (%.1f MB)\n", c.title.c_str(), static_cast<double>(c.payload_nbytes) / kBytesPerMb);
  print_times("ours", ours_times);
  print_times(c.peer_name.c_str(), peer_times);
  std::fflush(stdout);
  std::vector<double> ratios;
  for (size_t round = 0; round < rounds; ++round) ratios.push_back(peer_times[round] / ours_times[round]);
  return {c.title, c.files, c.peer_name, c.payload_nbytes, median(ours_times), median(peer_times), median(ratios)};
}

// Builds one case's inputs, measures it and removes everything it wrote from `work`.
Result run_case(const fs::path &work, size_t rounds, const std::function<Case(const fs::path &)> &build) {
  const fs::path inputs = work / "inputs";
  fs::create_directory(inputs);
  const Case c = build(inputs);
  Result result = measure(c, work, rounds);
  for (const fs::directory_entry &entry : fs::directory_iterator(work)) fs::remove_all(entry.path());
  return result;
}

void print_table(const std::vector<Result> &results) {
  std::printf("\n%-30s %10s %9s  %-7s %10s %9s %7s %7s %7s  %s\n", "case", "ours ms", "MB/s", "peer", "peer ms",
              "MB/s", "ratio", "paired", "target", "verdict");
  for (const Result &r : results) {
    const double mb = static_cast<double>(r.payload_nbytes) / kBytesPerMb;
    // Same payload on both sides, so the throughput ratio is the inverse ratio of the times.
    const double ratio = r.peer_median / r.ours_median;
    std::printf("%-30s %10.1f %9.1f  %-7s %10.1f %9.1f %7.2f %7.2f %7.2f  %s\n", r.title.c_str(),
                r.ours_median * 1e3, mb / r.ours_median, r.peer_name.c_str(), r.peer_median * 1e3, mb / r.peer_median,
                ratio, r.paired_ratio, kTargetRatio, ratio >= kTargetRatio ? "PASS" : "BELOW");
  }
}

// What one file costs each side, with few files and with many in the same place: the cost per file
// must stay flat as the count grows. `few` and `many` are results of the same place.
void print_per_file_cost(const Result &few, const Result &many) {
  const auto us = [](double seconds, size_t files) { return seconds * 1e6 / static_cast<double>(files); };
  const double ours_few = us(few.ours_median, few.files), ours_many = us(many.ours_median, many.files);
  const double peer_few = us(few.peer_median, few.files), peer_many = us(many.peer_median, many.files);
  std::printf("%-30s ours %7.1f -> %7.1f us/file (x%.2f)   %s %7.1f -> %7.1f us/file (x%.2f)\n", many.title.c_str(),
              ours_few, ours_many, ours_many / ours_few, many.peer_name.c_str(), peer_few, peer_many,
              peer_many / peer_few);
}

// The temporary work folder, removed with everything in it however the run ends. It is marked as
// the top of a hierarchy, so that ext4 puts each folder made in it into a block group of its own,
// away from inodes that this or another program freed lately (see new_output_folder); file
// systems without the flag refuse it, which costs nothing but that placement.
class WorkFolder {
 public:
  explicit WorkFolder(const fs::path &parent) {
    std::string pattern = (parent / "extract_bench.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a work folder in " + parent.string());
    path_ = pattern;
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_TOPDIR_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) close(fd);
  }
  ~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder &) = delete;
  WorkFolder &operator=(const WorkFolder &) = delete;
  const fs::path &path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

int main(int argc, char **argv) {
  const std::optional<Options> options = parse_options(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    std::printf("%zu rounds; ratio: ours/peer throughput of the medians; paired: median of the rounds' ratios\n\n",
                options->rounds);
    std::vector<Result> results;
    std::vector<std::pair<size_t, size_t>> per_file;  // indices of the few- and many-files results
    // The small-file cases in `parent`, named by where they run.
    const auto small_cases = [&](const fs::path &parent, const std::string &where) {
      const WorkFolder work(parent);
      std::printf("work folder %s\n", work.path().c_str());
      for (size_t count : {options->few_files, options->small_files}) {
        results.push_back(run_case(work.path(), options->rounds,
                                   [&](const fs::path &folder) { return small_case(folder, count, where); }));
      }
      per_file.emplace_back(results.size() - 2, results.size() - 1);
    };
    {
      const WorkFolder work(options->parent);
      std::printf("work folder %s\n", work.path().c_str());
      const size_t large_nbytes = options->large_mb * 1000000;
      results.push_back(run_case(work.path(), options->rounds,
                                 [&](const fs::path &folder) { return large_case(folder, large_nbytes, 1); }));
      results.push_back(run_case(work.path(), options->rounds,
                                 [&](const fs::path &folder) { return large_case(folder, large_nbytes, 4); }));
    }
    small_cases(options->parent, is_tmpfs(options->parent) ? "tmpfs" : "disk");
    if (fs::is_directory(options->tmpfs) && !is_tmpfs(options->parent)) small_cases(options->tmpfs, "tmpfs");
    print_table(results);
    std::printf("\nper-file cost, few files -> many files:\n");
    for (const auto &[few, many] : per_file) print_per_file_cost(results[few], results[many]);
    return 0;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "extract_bench: %s\n", error.what());
    return 1;
  }
}
