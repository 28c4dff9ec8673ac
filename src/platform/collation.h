#pragma once
// Ordering of list entries the way the user's Japanese locale orders them,
// without regard to letter case (digits before letters, so hexadecimal keys
// order by value). Entries the collation calls equal are ordered by their
// code points, so the order is total and its reverse is exactly the
// descending order.
#include <QString>
#include <QStringList>

#include <memory>

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

private:
    std::unique_ptr<QCollator> collator_;
};

// The collation shared by every list of the program.
const Collation& listCollation();

// Sorts ascending with listCollation().
void sortList(QStringList& list);

}  // namespace platform
