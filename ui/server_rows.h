// The rows of the server list. The list view holds none of its own (it is
// an owner-data list that asks for every cell as it paints): this array of
// record indexes, in list order, is the list. Sorting, filtering and adding
// a row are passes over the array and one new count for the list view, so
// they cost the same whatever the number of rows. The selection stays on its
// row's record when rows come, go or move, as on a list that held its rows.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct ListedRow {
    int record;
    int image;  // the system icon, fixed when the row is listed
};

// The list view the rows are shown in.
void AttachServerRows(HWND list);

int ListedRowCount();

// The selected row, or -1. In a list of one selection it is nearly always
// the focused row, which the list view knows at once, while a search for a
// selected row visits every row: this looks there first.
int SelectedListedRow();

// The row at this position, or null beyond the rows.
const ListedRow* ListedRowAt(int row);

// The row of this record, or -1.
int RowOfListedRecord(int record);

// False when memory is short; the row is then not listed.
bool InsertListedRow(int position, int record, int image);
void RemoveListedRow(int row);

// Every row goes, and the selection with them.
void ClearListedRows();

// Sorts the rows with the list's comparison of two records; rows that
// compare equal keep their order.
void SortListedRows(PFNLVCOMPARE compare, LPARAM order);

// After a filter change, on rows sorted by `compare` and `order`: the rows
// whose record is no longer `listable` go, and the listable records of the
// first `recordCount` that are not listed yet are sorted and merged in, so
// the whole list is never sorted again. The selection stays with its record
// while that is listed. False, with nothing changed, when memory is short.
bool RefilterListedRows(int recordCount, bool (*listable)(int record), int (*imageOf)(int record),
                        PFNLVCOMPARE compare, LPARAM order);

// After the records at these indexes changed, on rows sorted by `compare`
// and `order`: their rows go, and those of them that are `listable` are
// sorted and merged in again with their images taken afresh; every other row
// keeps its place. The selection stays with its record while that is listed.
// `changedInView` tells whether a row up to `lastRowInView` went or came, so
// that the rows in view moved. False, with nothing changed, when memory is
// short.
bool RelistChangedRecords(const int* records, int count, int recordCount, bool (*listable)(int record),
                          int (*imageOf)(int record), PFNLVCOMPARE compare, LPARAM order, int lastRowInView,
                          bool* changedInView);

// True while the selection is being moved along with its record: the
// selected server has not changed.
bool ListedSelectionMoving();
