#include "listing/DirStack.h"

#include <cstring>
#include <new>

void DirStack::Clear() {
    head = nullptr;
    cursor = nullptr;
    tail = nullptr;
}

bool DirStack::Push(const char* directory, HANDLE enumeration, const WIN32_FIND_DATAA& record,
                    uint64_t total) {
    if (cursor == nullptr) {
        DirStackNode* node = new (std::nothrow) DirStackNode;
        if (node == nullptr) {
            return false;
        }
        node->prev = tail;
        node->next = nullptr;
        if (tail != nullptr) {
            tail->next = node;
        } else {
            head = node;
        }
        tail = node;
        cursor = node;
    }
    DirStackNode* node = cursor;
    // The directory is itself a MAX_PATH buffer, so it always fits.
    std::memcpy(node->savedDirectory, directory, std::strlen(directory) + 1);
    node->savedEnumeration = enumeration;
    node->savedRecord = record;
    node->savedTotal = total;
    cursor = node->next;
    return true;
}

bool DirStack::Pop(char* directory, HANDLE* enumeration, WIN32_FIND_DATAA* record,
                   uint64_t* total) {
    DirStackNode* top = Top();
    if (top == nullptr) {
        return false;
    }
    cursor = top;
    std::memcpy(directory, top->savedDirectory, std::strlen(top->savedDirectory) + 1);
    *enumeration = top->savedEnumeration;
    *record = top->savedRecord;
    *total = top->savedTotal;
    return true;
}

void DirStack::Free() {
    DirStackNode* node = head;
    while (node != nullptr) {
        DirStackNode* next = node->next;
        delete node;
        node = next;
    }
    Clear();
}
