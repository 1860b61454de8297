// The rows of the server list.
#include "ui/server_rows.h"

#include <algorithm>

namespace {

HWND RowList;
ListedRow* Rows;
int RowCount;
int RowCapacity;
bool SelectionMoving;

const int FirstCapacity = 256;

bool MakeRoom(int rows)
{
    if (rows <= RowCapacity)
        return true;
    int capacity = RowCapacity > 0 ? RowCapacity : FirstCapacity;
    while (capacity < rows)
        capacity *= 2;
    void* grown = Rows == nullptr ? HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(ListedRow))
                                  : HeapReAlloc(GetProcessHeap(), 0, Rows, capacity * sizeof(ListedRow));
    if (grown == nullptr)
        return false;
    Rows = static_cast<ListedRow*>(grown);
    RowCapacity = capacity;
    return true;
}

int RowWith(UINT state)
{
    return static_cast<int>(SendMessageW(RowList, LVM_GETNEXTITEM, -1, state));
}

void SetRowState(int row, UINT mask, UINT state)
{
    LVITEMW item = {};
    item.stateMask = mask;
    item.state = state;
    SendMessageW(RowList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// The selected and the focused row before a change, and their records.
struct HeldSelection {
    int selectedRow;
    int focusedRow;
    int selectedRecord;
    int focusedRecord;
};

HeldSelection HoldSelection()
{
    HeldSelection held = {SelectedListedRow(), RowWith(LVNI_FOCUSED), -1, -1};
    if (held.selectedRow >= 0 && held.selectedRow < RowCount)
        held.selectedRecord = Rows[held.selectedRow].record;
    if (held.focusedRow >= 0 && held.focusedRow < RowCount)
        held.focusedRecord = Rows[held.focusedRow].record;
    return held;
}

// The list view knows rows by position only: once they have moved, it is
// given the new count, and the selection and the focus are put back on their
// records' rows, or dropped with a row that went.
void ShowRows(const HeldSelection& held, int selectedRow, int focusedRow)
{
    bool moved = selectedRow != held.selectedRow || focusedRow != held.focusedRow;
    SelectionMoving = true;
    // Row by row: the list view would visit every row for -1.
    if (moved && held.selectedRow != -1)
        SetRowState(held.selectedRow, LVIS_SELECTED | LVIS_FOCUSED, 0);
    if (moved && held.focusedRow != -1 && held.focusedRow != held.selectedRow)
        SetRowState(held.focusedRow, LVIS_FOCUSED, 0);
    SendMessageW(RowList, LVM_SETITEMCOUNT, RowCount, LVSICF_NOSCROLL);
    if (moved && focusedRow != -1)
        SetRowState(focusedRow, LVIS_FOCUSED, LVIS_FOCUSED);
    if (moved && selectedRow != -1)
        SetRowState(selectedRow, LVIS_SELECTED, LVIS_SELECTED);
    SelectionMoving = false;
}

// The list's order of two rows, by their records.
struct RowOrder {
    PFNLVCOMPARE compare;
    LPARAM order;
    bool operator()(const ListedRow& a, const ListedRow& b) const { return compare(a.record, b.record, order) < 0; }
};

// Where a held row is after a row was inserted (+1) or removed (-1) at
// `position`; -1 when it was the removed one.
int ShiftedRow(int row, int position, int change)
{
    if (row < position || row == -1)
        return row;
    if (change < 0 && row == position)
        return -1;
    return row + change;
}

void ShowShiftedRows(const HeldSelection& held, int position, int change)
{
    ShowRows(held, ShiftedRow(held.selectedRow, position, change), ShiftedRow(held.focusedRow, position, change));
}

// The rows were reordered or rebuilt: the selection and the focus follow
// their records, or go with them.
void ShowHeldRecords(const HeldSelection& held)
{
    ShowRows(held, held.selectedRecord != -1 ? RowOfListedRecord(held.selectedRecord) : -1,
             held.focusedRecord != -1 ? RowOfListedRecord(held.focusedRecord) : -1);
}

// A zeroed mark for each of `recordCount` records, with room made for
// `rows` rows; null, with nothing changed, when memory is short.
BYTE* RecordMarks(int recordCount, int rows)
{
    BYTE* marks = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, recordCount + 1));
    if (marks != nullptr && !MakeRoom(rows)) {
        HeapFree(GetProcessHeap(), 0, marks);
        return nullptr;
    }
    return marks;
}

// The rows before `kept` are in order; those up to `merged` are new: they
// are sorted and merged in, and the list shows them all.
void MergeNewRows(int kept, int merged, PFNLVCOMPARE compare, LPARAM order, const HeldSelection& held)
{
    std::stable_sort(Rows + kept, Rows + merged, RowOrder{compare, order});
    std::inplace_merge(Rows, Rows + kept, Rows + merged, RowOrder{compare, order});
    RowCount = merged;
    ShowHeldRecords(held);
}

}  // namespace

void AttachServerRows(HWND list)
{
    RowList = list;
    RowCount = 0;
}

int SelectedListedRow()
{
    if (SendMessageW(RowList, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
        return -1;
    int focused = RowWith(LVNI_FOCUSED);
    if (focused != -1 && (SendMessageW(RowList, LVM_GETITEMSTATE, focused, LVIS_SELECTED) & LVIS_SELECTED))
        return focused;
    return RowWith(LVNI_SELECTED);
}

int ListedRowCount()
{
    return RowCount;
}

const ListedRow* ListedRowAt(int row)
{
    return row >= 0 && row < RowCount ? &Rows[row] : nullptr;
}

int RowOfListedRecord(int record)
{
    for (int row = 0; row < RowCount; row++) {
        if (Rows[row].record == record)
            return row;
    }
    return -1;
}

bool InsertListedRow(int position, int record, int image)
{
    if (position < 0 || position > RowCount || !MakeRoom(RowCount + 1))
        return false;
    HeldSelection held = HoldSelection();
    MoveMemory(&Rows[position + 1], &Rows[position], (RowCount - position) * sizeof(ListedRow));
    Rows[position] = {record, image};
    RowCount++;
    ShowShiftedRows(held, position, 1);
    return true;
}

void RemoveListedRow(int row)
{
    if (row < 0 || row >= RowCount)
        return;
    HeldSelection held = HoldSelection();
    MoveMemory(&Rows[row], &Rows[row + 1], (RowCount - row - 1) * sizeof(ListedRow));
    RowCount--;
    ShowShiftedRows(held, row, -1);
}

void ClearListedRows()
{
    RowCount = 0;
    SendMessageW(RowList, LVM_DELETEALLITEMS, 0, 0);
}

void SortListedRows(PFNLVCOMPARE compare, LPARAM order)
{
    HeldSelection held = HoldSelection();
    std::stable_sort(Rows, Rows + RowCount, RowOrder{compare, order});
    ShowHeldRecords(held);
}

bool RefilterListedRows(int recordCount, bool (*listable)(int record), int (*imageOf)(int record),
                        PFNLVCOMPARE compare, LPARAM order)
{
    BYTE* listed = RecordMarks(recordCount, recordCount);
    if (listed == nullptr)
        return false;
    HeldSelection held = HoldSelection();
    int kept = 0;
    for (int row = 0; row < RowCount; row++) {
        int record = Rows[row].record;
        if (record < 0 || record >= recordCount || !listable(record))
            continue;
        listed[record] = 1;
        Rows[kept++] = Rows[row];
    }
    int merged = kept;
    for (int record = 0; record < recordCount; record++) {
        if (!listed[record] && listable(record))
            Rows[merged++] = {record, imageOf(record)};
    }
    HeapFree(GetProcessHeap(), 0, listed);
    MergeNewRows(kept, merged, compare, order, held);
    return true;
}

bool RelistChangedRecords(const int* records, int count, int recordCount, bool (*listable)(int record),
                          int (*imageOf)(int record), PFNLVCOMPARE compare, LPARAM order, int lastRowInView,
                          bool* changedInView)
{
    BYTE* changed = RecordMarks(recordCount, RowCount + count);
    if (changed == nullptr)
        return false;
    for (int index = 0; index < count; index++) {
        if (records[index] >= 0 && records[index] < recordCount)
            changed[records[index]] = 1;
    }
    HeldSelection held = HoldSelection();
    int kept = 0;
    *changedInView = false;
    for (int row = 0; row < RowCount; row++) {
        int record = Rows[row].record;
        if (record >= 0 && record < recordCount && changed[record]) {
            *changedInView = *changedInView || row <= lastRowInView;
            continue;
        }
        Rows[kept++] = Rows[row];
    }
    int merged = kept;
    for (int index = 0; index < count; index++) {
        int record = records[index];
        // A record named twice is listed once.
        if (record < 0 || record >= recordCount || changed[record] != 1)
            continue;
        changed[record] = 2;
        if (listable(record))
            Rows[merged++] = {record, imageOf(record)};
    }
    MergeNewRows(kept, merged, compare, order, held);
    for (int row = 0; row < RowCount && row <= lastRowInView && !*changedInView; row++)
        *changedInView = changed[Rows[row].record] != 0;
    HeapFree(GetProcessHeap(), 0, changed);
    return true;
}

bool ListedSelectionMoving()
{
    return SelectionMoving;
}
