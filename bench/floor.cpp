// The file-system floor: writes the files of a reference directory into an
// empty target directory, with the same names and bytes, one plain open
// (O_TRUNC), write and close each: as many calls as the converter makes
// into an empty directory on POSIX systems, without its care for links and
// special files. Every file is read into memory first; only the writing is
// timed.
//
//     floor REFERENCE_DIR TARGET_DIR
//
// Prints "files N bytes B seconds S cpu C" on standard output: wall and
// processor (user and system) seconds of the writing.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cpu_seconds.h"

namespace {

struct File {
    std::string name;
    std::string bytes;
};

bool read_whole(const std::string& path, std::string& bytes)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr)
        return false;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
        bytes.append(chunk, n);
    std::fclose(in);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: floor REFERENCE_DIR TARGET_DIR\n", stderr);
        return 2;
    }
    const std::string reference = argv[1];
    const std::string target = argv[2];

    DIR* dir = opendir(reference.c_str());
    if (dir == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", reference.c_str());
        return 1;
    }
    std::vector<File> files;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".xml") != 0)
            continue;
        files.push_back({name, {}});
    }
    closedir(dir);
    // Input order of the converter: the names rise with the identifiers, so
    // sorting is close to it; directory order would be arbitrary.
    std::sort(files.begin(), files.end(),
              [](const File& a, const File& b) { return a.name < b.name; });
    size_t total = 0;
    for (File& f : files) {
        if (!read_whole(reference + "/" + f.name, f.bytes)) {
            std::fprintf(stderr, "cannot read %s\n", f.name.c_str());
            return 1;
        }
        total += f.bytes.size();
    }

    // Names relative to the working directory, as the converter opens them.
    if (chdir(target.c_str()) != 0) {
        std::fprintf(stderr, "cannot enter %s\n", target.c_str());
        return 1;
    }
    double cpu_start = cpu_seconds();
    auto start = std::chrono::steady_clock::now();
    for (const File& f : files) {
        int fd = open(f.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) {
            std::fprintf(stderr, "cannot create %s\n", f.name.c_str());
            return 1;
        }
        bool ok = write(fd, f.bytes.data(), f.bytes.size()) ==
                  static_cast<ssize_t>(f.bytes.size());
        if (close(fd) != 0 || !ok) {
            std::fprintf(stderr, "cannot write %s\n", f.name.c_str());
            return 1;
        }
    }
    auto end = std::chrono::steady_clock::now();
    double cpu = cpu_seconds() - cpu_start;
    std::printf("files %zu bytes %zu seconds %.3f cpu %.3f\n", files.size(), total,
                std::chrono::duration<double>(end - start).count(), cpu);
    return 0;
}
