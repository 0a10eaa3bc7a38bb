// Finding text in the history box on Qt: the find window ("検索"), a small
// modeless window of our own over the dialog, and the keys that search:
// Ctrl+F anywhere in the dialog opens it; F3 and Shift+F3, in the dialog
// or in the find window, repeat the search forward and backward.
#pragma once

#include <QObject>
#include <QString>

class CQtRowBox;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class CQtFind final : public QObject {
public:
    // A child of `dialog`, whose box `box` it searches.
    CQtFind(QDialog& dialog, CQtRowBox& box);

    // Shows the find window, its field holding the box's selection where
    // that is within one row, and puts the focus in it.
    void Open();
    // Searches again for what the field holds; before any search, opens
    // the find window instead.
    void Repeat(bool forward);

private:
    void Build();
    // The find window shown and active, the focus in its field.
    void Show();
    void AddKeys(QWidget* window);
    void Search(bool forward);
    void SayNotFound(bool notFound);

    QDialog& m_dialog;
    CQtRowBox& m_box;
    QDialog* m_pWindow = nullptr;  // built when first opened
    QLineEdit* m_pField = nullptr;
    QCheckBox* m_pMatchCase = nullptr;
    QLabel* m_pStatus = nullptr;
    QPushButton* m_pNext = nullptr;
    QPushButton* m_pPrevious = nullptr;
};
