#include "media/BlockDevice.h"

namespace brindle::media {

const char* ToText(BlockStatus status) {
  switch (status) {
    case BlockStatus::Good:
      return "good";
    case BlockStatus::Unreadable:
      return "unreadable";
    case BlockStatus::FailedCheck:
      return "failed its check";
    case BlockStatus::PastEnd:
      return "past the end";
  }
  return "unknown";
}

}  // namespace brindle::media
