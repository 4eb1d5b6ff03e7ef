#include "bench/bench_data.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

std::vector<std::string> listFiles(const std::string& root) {
    std::vector<std::string> files;
    std::function<void(const std::string&)> walk = [&](const std::string& relative) {
        DIR* d = opendir((relative.empty() ? root : root + "/" + relative).c_str());
        if (!d) return;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            std::string r = relative.empty() ? n : relative + "/" + n;
            struct stat st;
            if (lstat((root + "/" + r).c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) walk(r);
            else if (S_ISREG(st.st_mode)) files.push_back(r);
        }
        closedir(d);
    };
    walk("");
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

// Concatenates regular files under `root` (sorted, so runs repeat) up to `limit` bytes.
std::size_t gather(const std::string& root, const std::string& out, std::size_t limit,
                   bool (*accept)(const std::string&)) {
    std::vector<std::string> files;
    for (const std::string& f : listFiles(root))
        if (accept(root + "/" + f)) files.push_back(root + "/" + f);
    std::FILE* o = std::fopen(out.c_str(), "wb");
    std::size_t total = 0;
    std::vector<char> buf(1 << 20);
    for (const std::string& f : files) {
        if (total >= limit) break;
        std::FILE* i = std::fopen(f.c_str(), "rb");
        if (!i) continue;
        std::size_t n;
        while (total < limit &&
               (n = std::fread(buf.data(), 1, std::min(buf.size(), limit - total), i)) > 0) {
            std::fwrite(buf.data(), 1, n, o);
            total += n;
        }
        std::fclose(i);
    }
    std::fclose(o);
    return total;
}

bool endsWith(const std::string& s, const char* tail) {
    std::string t = tail;
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

}  // namespace

std::vector<BenchFile> makeMixedData(const std::string& dir) {
    const std::size_t mb = 1 << 20;
    std::vector<BenchFile> files = {
        {"binaries.bin", dir + "/binaries.bin", 0},
        {"source.txt", dir + "/source.txt", 0},
        {"docs.txt", dir + "/docs.txt", 0},
    };
    files[0].size =
        gather("/usr/bin", files[0].path, 16 * mb, [](const std::string&) { return true; });
    files[1].size = gather("/usr/include", files[1].path, 14 * mb,
                           [](const std::string& p) { return endsWith(p, ".h"); });
    files[2].size = gather("/usr/share/doc", files[2].path, 10 * mb, [](const std::string& p) {
        return !endsWith(p, ".gz") && !endsWith(p, ".png") && !endsWith(p, ".jpg");
    });
    return files;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double secondsOf(const std::string& command) {
    double start = now();
    int status = std::system(command.c_str());
    double t = now() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? t : -1;
}

bool haveCommand(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}
