// orvalis [PICTURE] [-- GLUT-OPTION...]: the command that starts the demo for
// people on Linux. The demo shows img/logo.bmp from its working folder, so
// this starts it in the folder of the shipped picture, or, for a PICTURE, in
// a fresh folder where img/logo.bmp is the bitmap made of that picture.
//
// The demo is its only child, and ends when it ends, however it ends. Every
// signal that would end this program is blocked from the start and taken
// synchronously, so none is lost between a check and a wait: it ends the
// demo, removes the folder, and ends this program with the status a shell
// gives for it. The folder goes as soon as the demo has read the picture, and
// a folder of an opener that was killed first goes at the next start.
#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "opener/Decode.h"
#include "opener/Message.h"

namespace {

const char* const usage = R"(Usage: orvalis [PICTURE] [-- GLUT-OPTION...]
Opens a window with a cube that wears PICTURE (the shipped picture when none
is given), and melts its colours every frame. An uncompressed 24-bit bitmap is
shown as it is; a PNG, JPEG, GIF, WebP, TIFF, other bitmap, icon or Targa
picture is stretched to a square, its side a power of two up to 512, upright
and in sRGB. PICTURE may be a file, a pipe or standard input (/dev/stdin).
Everything after -- goes to GLUT, for example: orvalis -- -display host:0

Keys:
  Enter          start the fly-away / drift-back animation
  Left or d      spin about the z axis (the start)
  Up or e        spin about the x axis
  Right or f     spin about the diagonal (1, 1, 1)
  Down or g      spin about the diagonal (1, 1, 0)
  Escape         quit

Options:
  -h, --help     print this and exit
  --version      print the version and exit
  --in-window    also show why a picture cannot be shown in a window, for a
                 start from a menu or a file manager (the menu entry's way)
)";

// What this run holds, for whichever way it ends.
struct Run {
    bool inWindow = false;
    std::string display;  // GLUT's -display, or empty for DISPLAY's
    std::string folder;   // made for the picture, until removed
    int folderLock = -1;  // the folder, open and locked while it is ours
    pid_t demo = 0;       // the demo, while it runs
    sigset_t original{};  // the signal mask this program was started with
} run;

// The name as given, on one line: control characters as C writes them.
std::string shown(const std::string& name) {
    std::string line;
    for (const unsigned char c : name) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\t') {
            line += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            line += escaped;
        } else {
            line += char(c);
        }
    }
    return line;
}

void removeFolder() {
    // Again where the decoder was adding a file of its own as it went.
    for (int tries = 0; tries < 3 && !run.folder.empty(); ++tries) {
        std::error_code error;
        std::filesystem::remove_all(run.folder, error);
        if (!error) {
            run.folder.clear();
        }
    }
    if (run.folderLock >= 0) {
        close(run.folderLock);
        run.folderLock = -1;
    }
}

// Ends the demo, if it runs, and waits for it: asked first, then made.
void endDemo() {
    if (run.demo > 0) {
        kill(run.demo, SIGTERM);
        int status = 0;
        for (int tries = 0; tries < 200 && waitpid(run.demo, &status, WNOHANG) == 0; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (waitpid(run.demo, &status, WNOHANG) == 0) {
            kill(run.demo, SIGKILL);
            waitpid(run.demo, &status, 0);
        }
        run.demo = 0;
    }
}

// One line on standard error, and in a window too where asked; then status 2,
// with nothing left behind.
[[noreturn]] void refuse(const std::string& sentence) {
    endDemo();
    removeFolder();
    std::fprintf(stderr, "orvalis: %s\n", sentence.c_str());
    if (run.inWindow) {
        pthread_sigmask(SIG_SETMASK, &run.original, nullptr);
        showInWindow("orvalis: " + sentence, run.display);
    }
    _exit(2);
}

// The signals whose default is to end a process, which this program takes
// itself; with SIGCHLD, which says that the demo ended.
sigset_t takenSignals() {
    sigset_t taken;
    sigemptyset(&taken);
    for (const int signal :
         {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGPOLL, SIGPROF,
          SIGVTALRM, SIGXCPU, SIGXFSZ, SIGSTKFLT, SIGPWR, SIGCHLD}) {
        sigaddset(&taken, signal);
    }
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        sigaddset(&taken, signal);
    }
    return taken;
}

// Where this program lies, to find the demo and the shipped picture beside it.
std::string ownFolder() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}

// Fails as a person is told to where there is no X11 display to draw on,
// before anything slow is done.
void checkDisplay() {
    const char* named = run.display.empty() ? std::getenv("DISPLAY") : run.display.c_str();
    if (!named || !*named) {
        refuse(
            "no display to draw on: orvalis opens an X11 window (XWayland's under Wayland), "
            "and DISPLAY is not set");
    }
    Display* x = XOpenDisplay(named);
    if (!x) {
        refuse("cannot open the X11 display '" + shown(named) +
               "' (under Wayland, XWayland's): is it running, and may this user use it?");
    }
    XCloseDisplay(x);
}

// Removes folders that openers no longer running left in base: those named
// like ours, of this user, that nobody holds locked. An opener killed with
// SIGKILL, or a machine that lost power, leaves such a folder.
void clearLeftFolders(const std::string& base) {
    DIR* listing = opendir(base.c_str());
    if (!listing) {
        return;
    }
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.rfind("orvalis.", 0) != 0 || name.size() != 14) {
            continue;
        }
        const std::string path = base + "/" + name;
        const int held = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat about {};
        if (held >= 0 && fstat(held, &about) == 0 && about.st_uid == getuid() &&
            flock(held, LOCK_EX | LOCK_NB) == 0) {
            // Removed while locked, so that an opener that made it a moment
            // ago, and waits for its lock, finds it gone and makes another.
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
        if (held >= 0) {
            close(held);
        }
    }
    closedir(listing);
}

// A fresh folder of this run's own, locked, in TMPDIR or else /tmp. A
// relative TMPDIR is taken from the working folder, which this program never
// leaves.
void makeFolder() {
    const char* temp = std::getenv("TMPDIR");
    std::vector<std::string> bases{"/tmp"};
    if (temp && *temp) {
        bases.insert(bases.begin(), temp);
    }
    int error = 0;
    for (const std::string& base : bases) {
        clearLeftFolders(base);
        for (;;) {
            std::string folder = base + "/orvalis.XXXXXX";
            if (!mkdtemp(folder.data())) {
                error = errno;
                break;
            }
            const int lock = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat about {};
            if (lock >= 0 && flock(lock, LOCK_EX) == 0 && fstat(lock, &about) == 0 &&
                about.st_nlink > 0) {
                run.folder = folder;
                run.folderLock = lock;
                return;
            }
            // Taken for a left folder and removed by another opener.
            if (lock >= 0) {
                close(lock);
            }
        }
    }
    refuse("cannot make a folder for the picture in '" + shown(bases.back()) +
           "': " + std::strerror(error));
}

// Why the name cannot be a picture to read, or nothing: said from the file's
// status alone, so that such a name starts no demo, and so that a FIFO is not
// opened (which waits for its writer) before the demo starts.
std::string unreadable(const std::string& path, const std::string& name, int error,
                       const struct stat& about) {
    if (error == ENOENT || error == ENOTDIR) {
        return "no picture at '" + shown(name) + "'";
    }
    if (error != 0) {
        return "cannot read '" + shown(name) + "': " + std::strerror(error);
    }
    if (S_ISDIR(about.st_mode)) {
        return "'" + shown(name) + "' is a folder: give a picture in it";
    }
    return access(path.c_str(), R_OK) == 0
               ? ""
               : "cannot read '" + shown(name) + "': " + std::strerror(errno);
}

// The whole of what the name opens: a file, a pipe, a FIFO or standard input.
std::vector<std::uint8_t> readPicture(const std::string& path, const std::string& name) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat about {};
    const int error = file < 0 ? errno : fstat(file, &about) == 0 ? 0 : errno;
    const std::string why = unreadable(path, name, error, about);
    if (!why.empty()) {
        if (file >= 0) {
            close(file);
        }
        throw Refusal(why);
    }
    constexpr std::size_t most = std::size_t(1) << 30, chunk = std::size_t(1) << 16;
    const auto tooLarge = [&] {
        close(file);
        return Refusal("'" + shown(name) + "' is too large: orvalis reads 1 GiB at most");
    };
    // A file's size is known, so it is read in one go where it can be.
    std::vector<std::uint8_t> bytes;
    if (S_ISREG(about.st_mode)) {
        if (std::uint64_t(about.st_size) > most) {
            throw tooLarge();
        }
        bytes.reserve(std::size_t(about.st_size) + chunk);
    }
    for (;;) {
        const std::size_t had = bytes.size();
        bytes.resize(had + std::max(bytes.capacity() - had, chunk));
        const ssize_t got = read(file, bytes.data() + had, bytes.size() - had);
        if (got < 0) {
            const int error = errno;
            close(file);
            throw Refusal("cannot read '" + shown(name) + "': " + std::strerror(error));
        }
        bytes.resize(had + std::size_t(got));
        if (got == 0) {
            break;
        }
        if (bytes.size() > most) {
            throw tooLarge();
        }
    }
    close(file);
    return bytes;
}

// img/logo.bmp in the folder as a FIFO, held open to write into: the demo
// reads the bitmap from it as it comes, and meanwhile makes its window. It is
// open for reading too, so that the demo's end never stops a write with
// SIGPIPE, and so that opening it never waits.
int handOver() {
    const std::string img = run.folder + "/img", path = img + "/logo.bmp";
    const int fifo = mkdir(img.c_str(), 0700) == 0 && mkfifo(path.c_str(), 0600) == 0
                         ? open(path.c_str(), O_RDWR | O_CLOEXEC)
                         : -1;
    if (fifo < 0) {
        refuse("cannot make the picture's place in '" + shown(run.folder) +
               "': " + std::strerror(errno));
    }
    // Room for a square bitmap of 512, so that writing it never waits.
    fcntl(fifo, F_SETPIPE_SZ, 1 << 20);
    return fifo;
}

// Writes the bitmap into the FIFO, whole. A larger bitmap than the FIFO holds
// goes as the demo reads it.
void writeWhole(int fifo, const std::vector<std::uint8_t>& bitmap) {
    std::size_t written = 0;
    while (written < bitmap.size()) {
        const ssize_t wrote = write(fifo, bitmap.data() + written, bitmap.size() - written);
        if (wrote < 0 && errno != EINTR) {
            throw Refusal(std::string("cannot hand the picture to the demo: ") +
                          std::strerror(errno));
        }
        written += std::size_t(std::max<ssize_t>(wrote, 0));
    }
}

// Starts the demo in folder with the GLUT options: a child that ends when
// this program ends, with the signal mask this program was started with.
void startDemo(const std::string& demo, const std::string& folder, std::vector<char*> arguments) {
    if (access(demo.c_str(), X_OK) != 0) {
        refuse("cannot start the demo '" + shown(demo) + "': " + std::strerror(errno));
    }
    arguments.insert(arguments.begin(), const_cast<char*>(demo.c_str()));
    arguments.push_back(nullptr);
    const pid_t parent = getpid();
    run.demo = fork();
    if (run.demo < 0) {
        refuse(std::string("cannot start the demo: ") + std::strerror(errno));
    }
    if (run.demo == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent || chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        pthread_sigmask(SIG_SETMASK, &run.original, nullptr);
        execv(demo.c_str(), arguments.data());
        _exit(127);
    }
}

// The status a shell gives for a child that ended so.
int shellStatus(int status) {
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Ends this program as the signal would have, with the demo and the folder
// gone first; a shell reports it as killed by that signal, in its status.
[[noreturn]] void endBy(int signal) {
    endDemo();
    removeFolder();
    _exit(128 + signal);
}

}  // namespace

int main(int argc, char** argv) {
    // Blocked before anything else, so that none comes between checks.
    const sigset_t taken = takenSignals();
    pthread_sigmask(SIG_BLOCK, &taken, &run.original);

    std::string name;
    std::vector<char*> glutOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (argument == "--version") {
            std::puts("orvalis " ORVALIS_VERSION);
            return 0;
        } else if (argument == "--in-window") {
            run.inWindow = true;
        } else if (argument == "--") {
            glutOptions.assign(argv + i + 1, argv + argc);
            break;
        } else if (argument.size() > 1 && argument[0] == '-') {
            refuse("unknown option '" + shown(argument) + "' (orvalis --help lists them)");
        } else if (!name.empty()) {
            refuse("one picture at a time, not also '" + shown(argument) + "'");
        } else {
            name = argument;
        }
    }
    for (std::size_t i = 0; i + 1 < glutOptions.size(); ++i) {
        if (std::string(glutOptions[i]) == "-display") {
            run.display = glutOptions[i + 1];
        }
    }
    checkDisplay();
    const std::string here = ownFolder();
    const std::string demo = here + "/" ORVALIS_DEMO;
    if (name.empty()) {
        const std::string data = here + "/" ORVALIS_DATA;
        glutOptions.insert(glutOptions.begin(), const_cast<char*>(demo.c_str()));
        glutOptions.push_back(nullptr);
        pthread_sigmask(SIG_SETMASK, &run.original, nullptr);
        if (chdir(data.c_str()) == 0) {
            execv(demo.c_str(), glutOptions.data());
        }
        refuse("cannot start the demo '" + shown(demo) + "': " + std::strerror(errno));
    }

    struct stat about {};
    const std::string why =
        unreadable(name, name, stat(name.c_str(), &about) == 0 ? 0 : errno, about);
    if (!why.empty()) {
        refuse(why);
    }
    const int signals = signalfd(-1, &taken, SFD_CLOEXEC);
    makeFolder();
    startDecoder(run.folder);
    int picture = handOver();
    // The demo's opening of the FIFO, and its closing once it has read the
    // picture, when the folder goes.
    const int watcher = inotify_init1(IN_CLOEXEC);
    int done[2];
    if (signals < 0 || watcher < 0 || pipe2(done, O_CLOEXEC) != 0 ||
        inotify_add_watch(watcher, (run.folder + "/img").c_str(), IN_OPEN | IN_CLOSE_NOWRITE) < 0) {
        refuse(std::string("cannot wait for the demo: ") + std::strerror(errno));
    }
    // The demo starts at once, while the picture is read and decoded: it
    // waits for the bitmap only once its window is made.
    startDemo(demo, run.folder, glutOptions);
    // Read, decoded and handed over on a thread of its own, so that a signal
    // is taken at once even while a FIFO waits for its writer or a large
    // picture decodes.
    std::string refusal;
    bool written = false, opened = false;
    std::thread([&] {
        try {
            const std::vector<std::uint8_t> bitmap =
                bitmapFor(readPicture(name, name), shown(name));
            writeWhole(picture, bitmap);
            written = true;
        } catch (const Refusal& refused) {
            refusal = refused.what();
        } catch (const std::bad_alloc&) {
            refusal = "'" + shown(name) + "' is too large for the memory orvalis can have here";
        }
        const char end = 0;
        while (write(done[1], &end, 1) < 0 && errno == EINTR) {
        }
    }).detach();

    pollfd waits[3] = {{signals, POLLIN, 0}, {done[0], POLLIN, 0}, {watcher, POLLIN, 0}};
    for (;;) {
        if (poll(waits, 3, -1) < 0) {
            continue;
        }
        if (waits[0].revents & POLLIN) {
            signalfd_siginfo said{};
            if (read(signals, &said, sizeof said) != sizeof said) {
                continue;
            }
            if (int(said.ssi_signo) != SIGCHLD) {
                endBy(int(said.ssi_signo));
            }
            int status = 0;
            if (run.demo > 0 && waitpid(run.demo, &status, WNOHANG) == run.demo) {
                run.demo = 0;
                removeFolder();
                return shellStatus(status);
            }
        }
        if (waits[1].revents & POLLIN) {
            char end;
            [[maybe_unused]] const ssize_t got = read(done[0], &end, 1);
            waits[1].fd = -1;
            if (!refusal.empty()) {
                refuse(refusal);
            }
        }
        if (waits[2].revents & POLLIN) {
            alignas(inotify_event) char events[4096];
            const ssize_t got = read(watcher, events, sizeof events);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                opened = opened || (event->mask & IN_OPEN);
                if (event->mask & IN_CLOSE_NOWRITE) {
                    removeFolder();
                    waits[2].fd = -1;
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        // The FIFO keeps what is written only while it is open: it is closed,
        // which ends the picture, once the demo holds it too.
        if (written && opened && picture >= 0) {
            close(picture);
            picture = -1;
        }
    }
}
