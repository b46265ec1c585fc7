// tav2005_10: converts a file of incipit records, one per line, into one
// MusicXML file per record in the working directory.

#include "batch.h"

int main(int argc, char** argv)
{
    return run_batch(argc, argv);
}
