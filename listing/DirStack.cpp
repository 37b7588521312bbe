#include "listing/DirStack.h"

#include <new>

void DirStack::Clear() {
    head = nullptr;
    cursor = nullptr;
    tail = nullptr;
}

bool DirStack::Push(size_t directoryLength, HANDLE enumeration, const WIN32_FIND_DATAA& record,
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
    node->savedDirectoryLength = directoryLength;
    node->savedEnumeration = enumeration;
    node->savedRecord = record;
    node->savedTotal = total;
    cursor = node->next;
    return true;
}

bool DirStack::Pop(size_t* directoryLength, HANDLE* enumeration, WIN32_FIND_DATAA* record,
                   uint64_t* total) {
    DirStackNode* top = Top();
    if (top == nullptr) {
        return false;
    }
    cursor = top;
    *directoryLength = top->savedDirectoryLength;
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
