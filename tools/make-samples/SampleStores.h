#pragma once
// Writing the demo files of samples/ and the benchmark stores with the test-only store writer.
#include "SampleContent.h"
#include "StoreWriter.h"

#include <string>

namespace brindle::samples {

// The writer's description of a sample message; index is its number in the store.
testsupport::TStoreMessage StoreMessage(const TSampleMessage& message, uint32_t index);

// Writes Demo.dbx, Demo.mbx, Demo.idx, Welcome.eml and the store folder Mailbox/ into dir,
// replacing them.
void WriteSamples(const std::string& dir);

// Writes Bench.dbx, Bench.mbx and Bench.idx with count messages into dir.
void WriteBenchStores(const std::string& dir, uint32_t count);

}  // namespace brindle::samples
