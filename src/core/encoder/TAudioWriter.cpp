// The writer base: raises the finished notification once the derived writer has closed its file.
#include "encoder/TAudioWriter.h"

#include <utility>

namespace quimbrel {

TAudioWriter::TAudioWriter(std::string path) : FileName(std::move(path)) {}

TAudioWriter::~TAudioWriter() {
    if (!OnFinished)
        return;
    try {
        OnFinished(FileName);
    } catch (...) {
        // A destructor cannot report; the handler owns its own errors.
    }
}

} // namespace quimbrel
