// afx_coll.h - CPtrArray, the framework's growable array of untyped pointers; it never owns what they point to.
#pragma once

#include <vector>

class CPtrArray {
 public:
  int GetSize() const { return static_cast<int>(m_items.size()); }
  int GetCount() const { return GetSize(); }
  void *GetAt(int index) const { return m_items[static_cast<size_t>(index)]; }
  void *operator[](int index) const { return GetAt(index); }
  // Appends and returns the new element's index.
  int Add(void *item) {
    m_items.push_back(item);
    return GetSize() - 1;
  }
  // Forgets every element (the storage only).
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<void *> m_items;
};
