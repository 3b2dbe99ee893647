#include "front/editors/general_parameter_dialog.h"

#include "documents/pargen.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::RecordingMessageBoxes;
using test_support::TempDir;
using test_support::WriteFile;
using GP = GeneralParameter;

class GeneralParameterDialog : public ::testing::Test {
protected:
    GeneralParameterDialog() : dialog(workspace, boxes) {
        workspace.ProjectFolder = project.str();
        workspace.UpdateDocumentPaths();
    }

    template <typename T = QLineEdit>
    T* Control(const char* name) {
        auto* control = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    void Type(const char* box, const QString& text) {
        auto* edit = Control(box);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void Open() {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
    }
    void PressOk() { QTest::mouseClick(Control<QPushButton>("BitBtn1"), Qt::LeftButton); }
    ElementText Saved(GP which) { return ReadGeneralParameters(workspace.PargenPath)[which]; }
    void WriteDocument(const GeneralParameters& p) {
        ASSERT_TRUE(WriteGeneralParameters(workspace.PargenPath, EncodeGeneralParameters(p)));
    }
    void WriteElements(const std::string& children) {
        WriteFile(workspace.PargenPath, "<General_Parameter>" + children + "</General_Parameter>");
    }

    TempDir project;
    Workspace workspace;
    RecordingMessageBoxes boxes;
    TFpargen dialog;
};

TEST_F(GeneralParameterDialog, ControlsStandInTheirPlacesWithTheirNames) {
    Open();
    EXPECT_EQ(dialog.windowTitle(), "General Parameter");
    EXPECT_EQ(dialog.size(), QSize(457, 346));
    EXPECT_EQ(Control<QWidget>("RG_Mode")->geometry(), QRect(8, 8, 441, 49));
    EXPECT_EQ(Control("E_IP1")->geometry().topLeft(), QPoint(16, 40));
    EXPECT_EQ(Control("E_SUB4")->geometry().topLeft(), QPoint(160, 88));
    EXPECT_EQ(Control("E_GAT2")->geometry().topLeft(), QPoint(64, 160));
    EXPECT_EQ(Control<QSpinBox>("SE_Port")->geometry().topLeft(), QPoint(16, 200));
    EXPECT_EQ(Control<QCheckBox>("CB_En_Gate")->geometry().top(), 128);
    EXPECT_EQ(Control<QComboBox>("CB_Par")->width(), 121);
    EXPECT_EQ(Control("E_Time")->width(), 97);
    EXPECT_EQ(Control("E_Offset")->geometry().left(), 352);
    EXPECT_EQ(Control<QPushButton>("BitBtn1")->geometry(), QRect(292, 307, 69, 23));
    EXPECT_EQ(Control<QPushButton>("BitBtn2")->geometry(), QRect(372, 307, 69, 23));
    // Tab order runs through the three addresses and on to the port.
    QApplication::setActiveWindow(&dialog);
    Control("E_IP4")->setFocus();
    QTest::keyClick(Control("E_IP4"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control("E_SUB1"));
    Control("E_GAT4")->setFocus();
    QTest::keyClick(Control("E_GAT4"), Qt::Key_Tab);
    auto* port = Control<QSpinBox>("SE_Port");
    EXPECT_TRUE(QApplication::focusWidget() == port || port->isAncestorOf(QApplication::focusWidget()))
        << QApplication::focusWidget()->objectName().toStdString();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QCheckBox>("CB_En_Gate"));
}

TEST_F(GeneralParameterDialog, WithoutADocumentShowsTheNewProjectValues) {
    Open();
    EXPECT_EQ(Control("E_IP1")->text(), "0");
    EXPECT_EQ(Control("E_SUB3")->text(), "255");
    EXPECT_EQ(Control("E_SUB4")->text(), "0");
    EXPECT_EQ(Control<QSpinBox>("SE_Port")->value(), 502);
    EXPECT_EQ(Control<QComboBox>("CB_Baud")->currentText(), "9600");
    EXPECT_EQ(Control<QComboBox>("CB_Par")->currentText(), "NONE");
    EXPECT_TRUE(Control<QComboBox>("CB_Par")->isEnabled());
    EXPECT_EQ(Control("E_Time")->text(), "1000");
    EXPECT_EQ(Control("E_Offset")->text(), "10000");
    EXPECT_TRUE(Control<QRadioButton>("RG_Mode_NAT")->isChecked());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(GeneralParameterDialog, ReadsEveryElementByItsRuleAndWritesItBack) {
    WriteElements("<TCP_IP1>$C0</TCP_IP1><TCP_IP2>168</TCP_IP2><TCP_IP3> 7</TCP_IP3><TCP_IP4>1</TCP_IP4>"
                  "<TCP_EN_GATE>01</TCP_EN_GATE><TCP_PORT>0x1F7</TCP_PORT>"
                  "<SNMP_PUBLIC>abcdefghijklmnopqrst</SNMP_PUBLIC><SNMP_PRIVATE>x</SNMP_PRIVATE>"
                  "<BAUD>9</BAUD><PARITY>3</PARITY><TIME_OUT>007</TIME_OUT><MODE>0</MODE><STOP_BIT>01</STOP_BIT>");
    Open();
    EXPECT_EQ(Control("E_IP1")->text(), "$C0");
    EXPECT_EQ(Control("E_IP3")->text(), " 7");
    EXPECT_EQ(Control("E_SUB1")->text(), "255"); // missing: its own fallback
    EXPECT_TRUE(Control<QCheckBox>("CB_En_Gate")->isChecked());
    EXPECT_EQ(Control<QSpinBox>("SE_Port")->value(), 503);
    EXPECT_EQ(Control<QComboBox>("CB_Baud")->currentIndex(), -1);
    EXPECT_EQ(Control<QComboBox>("CB_Par")->currentText(), "ODD");
    EXPECT_TRUE(Control<QRadioButton>("RG_Mode_Routing")->isChecked());
    EXPECT_EQ(Control("E_Offset")->text(), "0"); // a missing OFFSET reads as 0

    QSignalSpy translate(&dialog, &TFpargen::translateEnabledChanged);
    PressOk();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(translate.size(), 1);
    EXPECT_FALSE(translate[0][0].toBool()); // Routing Mode
    EXPECT_EQ(Saved(GP::TCP_IP1), "$C0");
    EXPECT_EQ(Saved(GP::TCP_IP3), " 7");
    EXPECT_EQ(Saved(GP::TCP_EN_GATE), "1");
    EXPECT_EQ(Saved(GP::TCP_PORT), "503");
    EXPECT_EQ(Saved(GP::SNMP_PUBLIC), "abcdefghijklm");
    EXPECT_EQ(Saved(GP::SNMP_PRIVATE), "x");
    EXPECT_EQ(Saved(GP::BAUD), "-1");
    EXPECT_EQ(Saved(GP::PARITY), "3");
    EXPECT_EQ(Saved(GP::TIME_OUT), "007");
    EXPECT_EQ(Saved(GP::OFFSET), "0");
    EXPECT_EQ(Saved(GP::MODE), "0");
    EXPECT_EQ(Saved(GP::STOP_BIT), "0");
    // Written whole, in table order, on one line.
    EXPECT_EQ(ReadFile(workspace.PargenPath).rfind("<General_Parameter><TCP_IP1>$C0</TCP_IP1>", 0), 0u);
}

TEST_F(GeneralParameterDialog, TwoStopBitsForceParityNoneUntilAnotherDocumentIsShown) {
    WriteElements("<PARITY>2</PARITY><STOP_BIT>1</STOP_BIT>");
    Open();
    auto* parity = Control<QComboBox>("CB_Par");
    EXPECT_EQ(parity->currentText(), "NONE");
    EXPECT_FALSE(parity->isEnabled());
    EXPECT_EQ(Control("E_Offset")->text(), "0");
    PressOk();
    EXPECT_EQ(Saved(GP::PARITY), "0");
    EXPECT_EQ(Saved(GP::STOP_BIT), "1");
    EXPECT_EQ(Saved(GP::SNMP_PUBLIC), ""); // absent, so written back empty

    // The next project has no pargen.xml: an enabled list set to NONE.
    std::filesystem::remove(workspace.PargenPath);
    Open();
    EXPECT_TRUE(parity->isEnabled());
    EXPECT_EQ(parity->currentText(), "NONE");
    EXPECT_EQ(Control("E_Offset")->text(), "10000");
}

TEST_F(GeneralParameterDialog, ListIndexesMapToTheirCodes) {
    Open();
    Control<QComboBox>("CB_Par")->setCurrentIndex(2);
    Control<QComboBox>("CB_Baud")->setCurrentIndex(7);
    Control<QCheckBox>("CB_En_Gate")->setChecked(true);
    PressOk();
    EXPECT_EQ(Saved(GP::PARITY), "2");
    EXPECT_EQ(Saved(GP::BAUD), "7");
    EXPECT_EQ(Saved(GP::TCP_EN_GATE), "1");
    EXPECT_EQ(Saved(GP::MODE), "1");
}

TEST_F(GeneralParameterDialog, FirstFailingBoxIsReportedFocusedAndTheAddressStillGoesToThePingBox) {
    Open();
    QSignalSpy ping(&dialog, &TFpargen::pingAddressChanged);
    QSignalSpy translate(&dialog, &TFpargen::translateEnabledChanged);
    Type("E_IP1", "999");
    Type("E_SUB2", "abc");
    PressOk();
    EXPECT_EQ(boxes.texts(), QStringList{"Error!! IP must be between 0 and 255. "});
    EXPECT_EQ(boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), Control("E_IP1"));
    EXPECT_FALSE(std::filesystem::exists(workspace.PargenPath));
    EXPECT_TRUE(translate.isEmpty());
    ASSERT_EQ(ping.size(), 1);
    EXPECT_EQ(ping[0][0].toString(), "999.0.0.0");

    Type("E_IP1", "$FF");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! Subnet Mask must be between 0 and 255. ");
    EXPECT_EQ(QApplication::focusWidget(), Control("E_SUB2"));
    Type("E_SUB2", "0");
    Type("E_GAT3", "300"); // refused although the gateway is off
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! Gateway must be between 0 and 255. ");
    Type("E_GAT3", "0");
    for (const char* bad : {"-1", "abc", ""}) {
        Type("E_Time", bad);
        PressOk();
        EXPECT_EQ(boxes.texts().last(), "TimeOut Error!!") << bad;
        EXPECT_EQ(QApplication::focusWidget(), Control("E_Time"));
    }
    Type("E_Time", "0");
    Type("E_Offset", "");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Offset Error!!");
    Type("E_Offset", "5");
    const auto shownBefore = boxes.shown.size();
    PressOk();
    EXPECT_EQ(boxes.shown.size(), shownBefore);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Saved(GP::TCP_IP1), "$FF");
    EXPECT_EQ(Saved(GP::TIME_OUT), "0");
    EXPECT_EQ(ping.last()[0].toString(), "$FF.0.0.0");
    ASSERT_EQ(translate.size(), 1);
    EXPECT_TRUE(translate[0][0].toBool());
}

TEST_F(GeneralParameterDialog, AnyPortIsWrittenInCanonicalDecimal) {
    for (const char* port : {"70000", "-5"}) {
        Open();
        auto* spin = Control<QSpinBox>("SE_Port");
        spin->selectAll();
        QTest::keyClicks(spin, port);
        PressOk();
        EXPECT_EQ(Saved(GP::TCP_PORT), port);
    }
}

TEST_F(GeneralParameterDialog, ADotMovesToTheNextOctetAndIsNeverTyped) {
    Open();
    Type("E_IP2", "12");
    QTest::keyClicks(Control("E_IP2"), ".");
    EXPECT_EQ(Control("E_IP2")->text(), "12");
    EXPECT_EQ(QApplication::focusWidget(), Control("E_IP3"));
    QTest::keyClicks(Control("E_IP3"), "4.");
    QTest::keyClicks(QApplication::focusWidget(), "5");
    EXPECT_EQ(Control("E_IP3")->text(), "4");
    EXPECT_EQ(Control("E_IP4")->text(), "5"); // focus by "." selects the box's text
    QTest::keyClicks(Control("E_IP4"), ".");
    EXPECT_EQ(Control("E_IP4")->text(), "5");
    EXPECT_EQ(QApplication::focusWidget(), Control("E_IP4"));
    Type("E_GAT1", "");
    QTest::keyClicks(Control("E_GAT1"), "x.");
    EXPECT_EQ(Control("E_GAT1")->text(), "x"); // letters pass; only "." is taken
    EXPECT_EQ(QApplication::focusWidget(), Control("E_GAT2"));
    // Other boxes take "." as typed.
    Type("E_Time", "1.5");
    EXPECT_EQ(Control("E_Time")->text(), "1.5");
}

TEST_F(GeneralParameterDialog, AWriteFailureGoesToTheTopLevelHandlerAndChangesNothingElse) {
    workspace.ProjectFolder = (project / "gone").string();
    workspace.UpdateDocumentPaths();
    Open();
    QSignalSpy ping(&dialog, &TFpargen::pingAddressChanged);
    QSignalSpy translate(&dialog, &TFpargen::translateEnabledChanged);
    PressOk();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(boxes.shown[0].text.contains("pargen.xml")) << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(ping.isEmpty());
    EXPECT_TRUE(translate.isEmpty());
    // Run hidden (New project), the failure leaves the confirm operation as an exception.
    dialog.hide();
    EXPECT_THROW(dialog.BitBtn1Click(), std::exception);
}

TEST_F(GeneralParameterDialog, AnUnparsableDocumentIsReportedAndTheDialogOpensWithResetValues) {
    Open();
    Type("E_IP1", "9"); // left over from an earlier showing
    dialog.hide();
    WriteFile(workspace.PargenPath, "<General_Parameter><TCP_IP1>1</TCP_IP2>");
    Open();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(boxes.shown[0].text.contains("pargen.xml"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Control("E_IP1")->text(), "0");
    EXPECT_EQ(Control("E_Offset")->text(), "10000");
    // Confirming replaces it with a well-formed document.
    PressOk();
    EXPECT_EQ(ReadGeneralParameters(workspace.PargenPath).outcome, ReadOutcome::Read);
}

TEST_F(GeneralParameterDialog, CancelWritesNothingAndTouchesNothing) {
    Open();
    QSignalSpy ping(&dialog, &TFpargen::pingAddressChanged);
    Type("E_IP1", "10");
    QTest::mouseClick(Control<QPushButton>("BitBtn2"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(workspace.PargenPath));
    EXPECT_TRUE(ping.isEmpty());
    // The system's close request does not close it.
    Open();
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(GeneralParameterDialog, HiddenResetAndConfirmWriteTheNewProjectDocument) {
    auto p = NewProjectGeneralParameters();
    p.ip = {"10", "0", "0", "1"};
    p.twoStopBits = true;
    dialog.ShowParameters(p);
    QSignalSpy ping(&dialog, &TFpargen::pingAddressChanged);
    QSignalSpy translate(&dialog, &TFpargen::translateEnabledChanged);
    dialog.ResetGeneralParameters();
    dialog.BitBtn1Click();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(dialog.isVisible());
    auto expected = EncodeGeneralParameters(NewProjectGeneralParameters());
    auto document = ReadGeneralParameters(workspace.PargenPath);
    for (size_t i = 0; i < kGeneralParameterCount; ++i)
        EXPECT_EQ(document.elements[i], expected[i]) << kGeneralParameterNames[i];
    EXPECT_EQ(Saved(GP::SNMP_PUBLIC), "harbor");
    EXPECT_EQ(Saved(GP::OFFSET), "10000");
    ASSERT_EQ(ping.size(), 1);
    EXPECT_EQ(ping[0][0].toString(), "0.0.0.0");
    ASSERT_EQ(translate.size(), 1);
    EXPECT_TRUE(translate[0][0].toBool());
}

} // namespace
} // namespace fabricor
