// The technician directory's widgets: one ServiceVendor card per technician
// (name, description, location, phone; a press on the description opens its
// full text in a pop-up) and the directory page 6 with its search field.
#pragma once

#include "account/TechnicianDirectory.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class ServiceVendor : public QWidget {
    Q_OBJECT
public:
    ServiceVendor(int index, const account::TechnicianCard& card, QWidget* parent = nullptr);
    int index() const { return m_index; }
    QLabel* descriptionLabel() const { return m_describe; }
    // The pop-up with the whole description (null until first opened).
    QLabel* popup() const { return m_popup; }
    void showDescription();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_index;
    account::TechnicianCard m_card;
    QLabel* m_name;
    QLabel* m_describe;
    QLabel* m_position;
    QLabel* m_phone;
    QLabel* m_popup = nullptr;
};

class ServiceVendorPage : public QWidget {
    Q_OBJECT
public:
    explicit ServiceVendorPage(QWidget* parent = nullptr);
    // Empties the list (deleting every item and card) and builds one card per entry.
    void showCards(const QVector<account::TechnicianCard>& cards);
    // "Loading", "nothing found" and the like under the search field.
    void setStatus(const QString& text);
    int cardCount() const;
    ServiceVendor* card(int row) const;

    QLineEdit* search; // lineEdit_Service_Vendor_Search
    QPushButton* find; // Btn_Vendor_Search
    QPushButton* back; // Btn_Service_Vendor_Return
    QListWidget* list; // listWidget_Service_Vendor

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
    QLabel* m_title;
    QLabel* m_status;
};
