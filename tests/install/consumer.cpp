// A program built against the installed package: one record in, its file
// name and document size out.
#include <tav/tav.h>

#include <cstdio>

int main()
{
    tav::Result r = tav::convert_record("123456789\t1.1.1\tG-2\t3/4\t\t$bBE 8.6'ABCD/4-2G//");
    std::printf("%s %d %zu\n", r.file_name.c_str(), static_cast<int>(r.status),
                r.document.size());
    return r.ok() ? 0 : 1;
}
