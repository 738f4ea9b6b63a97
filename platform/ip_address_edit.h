// A four-field IPv4 entry: fields of 0 to 255 separated by dots, each of which may be blank.
#pragma once

#include <QFrame>
#include <QString>
#include <array>
#include <cstdint>

class QLineEdit;

namespace quorin::platform {

class IpAddressEdit : public QFrame {
    Q_OBJECT
  public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // Sets the fields from dotted text "a.b.c.d". A missing, empty or non-numeric part leaves its
    // field blank; values above 255 are shown as 255.
    void setAddressText(const QString& text);
    // The dotted text of the four fields; a blank field gives an empty part ("1..3.4").
    QString addressText() const;
    // The four fields, first field first; a blank field reads as 0.
    std::array<std::uint8_t, 4> address() const;
    // True when every field is blank.
    bool isBlank() const;

    QLineEdit* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void focusField(int index, bool select_all);
    int indexOf(QObject* field) const;

    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace quorin::platform
