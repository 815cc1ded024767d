// Where the board goes: the program it is appended to, the file written
// whole or not at all, and with --install the desktop's menu entry (and
// with --autostart its login entry).
#include "tools/board/maker.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

std::string maker_find_program(void) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        std::string dir(self);
        dir.resize(dir.rfind('/'));
        std::string p = dir + "/vostrel-soundboard";
        if (access(p.c_str(), R_OK) == 0) return p;
    }
    const char *path = getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= all.size()) {
        size_t colon = all.find(':', at);
        std::string dir =
            all.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
        std::string p = (dir.empty() ? "." : dir) + "/vostrel-soundboard";
        if (access(p.c_str(), R_OK) == 0) return p;
        if (colon == std::string::npos) break;
        at = colon + 1;
    }
    return "";
}

int maker_write_whole(const std::string &path,
                      const std::vector<const std::vector<uint8_t> *> &parts, mode_t mode) {
    std::string tmp = path + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) return 0;
    int ok = 1;
    for (const std::vector<uint8_t> *p : parts) {
        size_t done = 0;
        while (ok && done < p->size()) {
            ssize_t n = write(fd, p->data() + done, p->size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = 0;
            else
                done += static_cast<size_t>(n);
        }
    }
    if (fchmod(fd, mode) != 0 || fsync(fd) != 0) ok = 0;
    if (close(fd) != 0) ok = 0;
    if (ok && rename(name.data(), path.c_str()) != 0) ok = 0;
    if (!ok) unlink(name.data());
    return ok;
}

int maker_mkdirs(const std::string &dir) {
    for (size_t i = 1; i <= dir.size(); i++)
        if (i == dir.size() || dir[i] == '/') {
            std::string part = dir.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return 0;
        }
    return 1;
}

int maker_install_entries(const std::string &out, const std::string &name, const std::string &title,
                          int count, int autostart) {
    // The Exec key's quoting rules: the path in double quotes, with \ " ` $ escaped.
    std::string exec_path, shown_title;
    for (char c : out) {
        if (c == '\\' || c == '"' || c == '`' || c == '$') exec_path += "\\\\";
        exec_path += c;
    }
    for (char c : title)
        if (c != '\n') shown_title += c;
    // One desktop entry in $VARIABLE (else ~/FALLBACK)/FOLDER, the program
    // started with ARGUMENTS; its path, or empty after saying why not.
    auto write_entry = [&](const char *variable, const char *fallback, const char *folder,
                           const char *arguments) {
        const char *base = getenv(variable);
        std::string dir =
            (base && *base ? std::string(base) : std::string(getenv("HOME")) + "/" + fallback) +
            "/" + folder;
        std::string entry = dir + "/vostrel-board-" + name + ".desktop";
        std::string text = "[Desktop Entry]\nType=Application\nName=" + shown_title +
                           "\nGenericName=Soundboard\nComment=Touch a button to play its "
                           "sound\nExec=\"" +
                           exec_path + "\" " + arguments +
                           "\nIcon=vostrel-soundboard\nTerminal=false\n"
                           "Categories=AudioVideo;Audio;\n";
        std::vector<uint8_t> bytes(text.begin(), text.end());
        if (!maker_mkdirs(dir) || !maker_write_whole(entry, {&bytes}, 0644)) {
            fprintf(stderr, "%s: cannot be written (%s)\n", entry.c_str(), strerror(errno));
            return std::string();
        }
        return entry;
    };
    if (write_entry("XDG_DATA_HOME", ".local/share", "applications", "--xdg-state").empty())
        return 0;
    printf("Your board (%d sounds) is in the menu as \"%s\" and runs as %s\n", count,
           shown_title.c_str(), out.c_str());
    if (autostart) {
        // The menu's entry, started as a kiosk at every desktop login.
        std::string entry =
            write_entry("XDG_CONFIG_HOME", ".config", "autostart", "--xdg-state --kiosk");
        if (entry.empty()) return 0;
        printf("It starts full screen at every desktop login (%s)\n", entry.c_str());
    }
    return 1;
}
