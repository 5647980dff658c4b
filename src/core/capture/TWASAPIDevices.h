// An ordered collection of catalogue entries: the list of cards, and each card's list of endpoints.
#pragma once

#include <cstddef>
#include <vector>

namespace quimbrel {

class TWASAPIDevice;

class TWASAPIDevices {
public:
    TWASAPIDevices();
    ~TWASAPIDevices();
    TWASAPIDevices(const TWASAPIDevices&);
    TWASAPIDevices& operator=(const TWASAPIDevices&);
    TWASAPIDevices(TWASAPIDevices&&) noexcept;
    TWASAPIDevices& operator=(TWASAPIDevices&&) noexcept;

    int count() const;
    // The indexed property `Items`. Out-of-range positions throw std::out_of_range.
    TWASAPIDevice& GetItem(int index);
    const TWASAPIDevice& GetItem(int index) const;
    void SetItem(int index, const TWASAPIDevice& item);
    TWASAPIDevice& operator[](int index) { return GetItem(index); }
    const TWASAPIDevice& operator[](int index) const { return GetItem(index); }

    // Appends a copy and returns the stored item.
    TWASAPIDevice& add(const TWASAPIDevice& item);
    // Moves the item at `from` to `to`; the items between keep their order.
    void move(int from, int to);
    void clear();

private:
    std::vector<TWASAPIDevice> m_items;
};

} // namespace quimbrel
