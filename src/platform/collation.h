#pragma once
// Ordering of list entries the way the user's Japanese locale orders them,
// without regard to letter case (digits before letters, so hexadecimal keys
// order by value). Entries the collation calls equal are ordered by their
// code points, so the order is total and its reverse is exactly the
// descending order.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class QCollator;

namespace platform {

class Collation {
public:
    Collation();
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    // <0, 0 or >0; 0 only for identical texts.
    int compare(const QString& a, const QString& b) const;
    // Sorts ascending.
    void sort(QStringList& list) const;
    // The ascending order as positions in list.
    std::vector<qsizetype> order(const QStringList& list) const;

    // Whether a and b compare as the collation does, through the printable
    // ASCII ranks (both texts printable ASCII; the caller checks).
    static bool isPrintableAscii(const QString& s);
    int compareAscii(const QString& a, const QString& b) const;

private:
    std::unique_ptr<QCollator> collator_;
    // Rank of each printable ASCII character in the collation (letters of
    // either case share one), taken from the collator itself; empty when the
    // collation treats some of them as ignorable, which rules the shortcut out.
    std::vector<uint8_t> asciiRank_;
};

// The collation shared by every list of the program.
const Collation& listCollation();

// Sorts ascending with listCollation().
void sortList(QStringList& list);

}  // namespace platform
