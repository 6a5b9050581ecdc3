#pragma once
// A disk that fails one write: the next pwrite to the armed file moves
// `bytes` bytes, then one call fails with EIO; later calls succeed. Stands
// in for a transient I/O error the tests cannot cause on a real disk.
#include <cstdint>
#include <string>

namespace orv::test {

void ArmFailingWrite(const std::string& path, uint64_t bytes);
void DisarmFailingWrite();
bool FailingWriteHappened();

}  // namespace orv::test
