#include "util/QueueUtilities.h"

namespace PMExtensions {

void addOperationAndWaitUntilFinished(OperationQueue& queue, std::shared_ptr<Operation> operation) {
    queue.addOperations({std::move(operation)}, true);
}

void addOperationWithBlockAndWaitUntilFinished(OperationQueue& queue, std::function<void()> block) {
    addOperationAndWaitUntilFinished(queue, std::make_shared<BlockOperation>(std::move(block)));
}

}  // namespace PMExtensions
