// A program built against the installed package: one record in, its file
// name and document size out; then the same record through the batch
// header's stream, its file written into a scratch folder that write_file
// makes.
#include <tav/batch.h>
#include <tav/tav.h>

#include <cstdio>
#include <filesystem>

int main()
{
    const char line[] = "123456789\t1.1.1\tG-2\t3/4\t\t$bBE 8.6'ABCD/4-2G//\n";
    tav::Result r = tav::convert_record(line);
    std::printf("%s %d %zu\n", r.file_name.c_str(), static_cast<int>(r.status),
                r.document.size());
    std::FILE* input = std::tmpfile();
    if (input == nullptr || std::fputs(line, input) < 0)
        return 1;
    std::rewind(input);
    auto top = std::filesystem::temp_directory_path() / "tav_consumer";
    std::filesystem::remove_all(top);
    auto dir = top / "made" / "by" / "write_file";
    tav::Converter converter;
    tav::Status written = tav::Status::Failed;
    tav::convert_stream(input, converter, {}, [&](tav::Result& each) {
        written = tav::write_file(each, dir.string());
        return true;
    });
    std::fclose(input);
    bool there = std::filesystem::is_regular_file(dir / r.file_name);
    std::filesystem::remove_all(top);
    return r.ok() && written == tav::Status::Written && there ? 0 : 1;
}
