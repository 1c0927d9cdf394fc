<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>DiagnosisController</name>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>No internet connection, please 
check your network connection.</source>
        <translation>No internet connection, please 
check your network connection.</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>No vehicle make is installed in the diagnosis folder.</source>
        <translation>No vehicle make is installed in the diagnosis folder.</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>New version detected. Whether to upgrade?</source>
        <translation>New version detected. Whether to upgrade?</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Downloading...</source>
        <translation>Downloading...</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Download failed</source>
        <translation>Download failed</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load IHttp.dll err!</source>
        <translation>Load IHttp.dll err!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load PubFunctional.dll err!</source>
        <translation>Load PubFunctional.dll err!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load StdComm.dll err!</source>
        <translation>Load StdComm.dll err!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load StdDispQt.dll err!</source>
        <translation>Load StdDispQt.dll err!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load Diag.dll err!</source>
        <translation>Load Diag.dll err!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>QDiagCarModel</name>
    <message>
        <location filename="../../diagnosis/QDiagCarModel.cpp"/>
        <source>BMW</source>
        <translation>BMW</translation>
    </message>
    <message>
        <location filename="../../diagnosis/QDiagCarModel.cpp"/>
        <source>Starts the diagnosis of this vehicle make</source>
        <translation>Starts the diagnosis of this vehicle make</translation>
    </message>
</context>
</TS>
