// Linked lists of handle records and the byte ring buffer.
#include <cstring>

#include "engine/system/system.h"

int ListInit(ListNode* head, ListNode* tail) {
  if (!head || !tail) return -1;
  head->prev = nullptr;
  head->next = tail;
  tail->prev = head;
  tail->next = nullptr;
  head->handle = tail->handle = -1;
  head->data = tail->data = nullptr;
  return 0;
}

int ListAddNode(ListNode* head, ListNode* node, int handle, void* data) {
  if (!head || !node || !head->next) return -1;
  node->handle = handle;
  node->data = data;
  node->prev = head;
  node->next = head->next;
  head->next->prev = node;
  head->next = node;
  return 0;
}

int ListRemoveNode(ListNode* node) {
  if (!node || !node->prev || !node->next) return -1;  // not linked
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->prev = node->next = nullptr;
  return 0;
}

int RingBufInitialize(RingBuf* ring) {
  if (!ring) return -1;
  std::memset(ring, 0, sizeof *ring);
  return 0;
}

int RingBufReSize(RingBuf* ring, size_t addSize) {
  if (!ring) return -1;
  if (addSize > SIZE_MAX / 2 - ring->dataLength) return -1;
  size_t need = ring->dataLength + addSize;
  if (need <= ring->bufferSize) return 0;
  size_t size = ring->bufferSize ? ring->bufferSize : 256;
  while (size < need) size *= 2;
  auto data = static_cast<unsigned char*>(TK_MALLOC(size));
  if (!data) return -1;
  RingBufRead(ring, data, ring->dataLength, 1);  // straightened out at the start
  MemFree(ring->data);
  ring->data = data;
  ring->start = 0;
  ring->end = ring->dataLength;
  ring->bufferSize = size;
  return 0;
}

int RingBufWrite(RingBuf* ring, const void* data, size_t length) {
  if (!ring || (!data && length)) return -1;
  if (RingBufReSize(ring, length) != 0) return -1;
  const unsigned char* src = static_cast<const unsigned char*>(data);
  size_t first = ring->bufferSize - ring->end;
  if (first > length) first = length;
  if (first) std::memcpy(ring->data + ring->end, src, first);
  if (length > first) std::memcpy(ring->data, src + first, length - first);
  ring->end = (ring->end + length) % ring->bufferSize;
  ring->dataLength += length;
  return 0;
}

int RingBufRead(RingBuf* ring, void* buffer, size_t length, int peek) {
  if (!ring || length > ring->dataLength || (!buffer && length)) return -1;
  if (length == 0) return 0;
  unsigned char* dst = static_cast<unsigned char*>(buffer);
  size_t first = ring->bufferSize - ring->start;
  if (first > length) first = length;
  std::memcpy(dst, ring->data + ring->start, first);
  if (length > first) std::memcpy(dst + first, ring->data, length - first);
  if (!peek) {
    ring->start = (ring->start + length) % ring->bufferSize;
    ring->dataLength -= length;
  }
  return 0;
}

size_t RingBufGetDataLength(const RingBuf* ring) { return ring ? ring->dataLength : 0; }

int RingBufTerminate(RingBuf* ring) {
  if (!ring) return -1;
  MemFree(ring->data);
  std::memset(ring, 0, sizeof *ring);
  return 0;
}
