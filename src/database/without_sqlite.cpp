// A build without SQLite: the database cannot be opened, and says why.

#include "catalogue.h"
#include "document_codec.h"

namespace tav::db {

namespace {

constexpr const char* kNoDatabase =
    "the catalogue database is not available: this build has no SQLite (apt-get install "
    "libsqlite3-dev)";

}  // namespace

bool available() { return false; }

struct CatalogueWriter::Impl {};
CatalogueWriter::CatalogueWriter() = default;
CatalogueWriter::~CatalogueWriter() = default;
bool CatalogueWriter::open(const std::string&, std::string& error)
{
    error = kNoDatabase;
    return false;
}
bool CatalogueWriter::add(const Incipit&, std::string& error)
{
    error = kNoDatabase;
    return false;
}
const std::string* CatalogueWriter::dictionary() const { return nullptr; }
bool CatalogueWriter::commit(std::string& error)
{
    error = kNoDatabase;
    return false;
}

struct DocumentDeflater::Impl {};
DocumentDeflater::DocumentDeflater(std::string) {}
DocumentDeflater::~DocumentDeflater() = default;
bool DocumentDeflater::deflate(std::string_view, std::string&) { return false; }
bool inflate_document(std::string_view, std::string_view, std::string&) { return false; }

struct Catalogue::Impl {};
Catalogue::Catalogue() = default;
Catalogue::~Catalogue() = default;
bool Catalogue::open(const std::string&, std::string& error)
{
    error = kNoDatabase;
    return false;
}
bool Catalogue::search(const Query&, const SearchOptions&, std::vector<Hit>&, std::string& error)
{
    error = kNoDatabase;
    return false;
}
bool Catalogue::document(const std::string&, const std::string&, std::string&, std::string&,
                         std::string& error)
{
    error = kNoDatabase;
    return false;
}

}  // namespace tav::db
