// Queue utilities with which an import waits for the main thread.
#pragma once

#include <functional>
#include <memory>

#include "platform/foundation/Operation.h"

namespace PMExtensions {

// Adds one operation to `queue` and returns when it has finished.
void addOperationAndWaitUntilFinished(OperationQueue& queue, std::shared_ptr<Operation> operation);
// Wraps `block` in a block operation and hands it to addOperationAndWaitUntilFinished.
void addOperationWithBlockAndWaitUntilFinished(OperationQueue& queue, std::function<void()> block);

}  // namespace PMExtensions
