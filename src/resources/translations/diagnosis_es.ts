<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>DiagnosisController</name>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>No internet connection, please 
check your network connection.</source>
        <translation>No hay conexión a Internet, por favor 
compruebe su conexión de red.</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>No vehicle make is installed in the diagnosis folder.</source>
        <translation>No hay ninguna marca de vehículo instalada en la carpeta de diagnóstico.</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>New version detected. Whether to upgrade?</source>
        <translation>Se detectó una nueva versión. ¿Desea actualizar?</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Downloading...</source>
        <translation>Descargando...</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Download failed</source>
        <translation>Error en la descarga</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load IHttp.dll err!</source>
        <translation>¡Error al cargar IHttp.dll!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load PubFunctional.dll err!</source>
        <translation>¡Error al cargar PubFunctional.dll!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load StdComm.dll err!</source>
        <translation>¡Error al cargar StdComm.dll!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load StdDispQt.dll err!</source>
        <translation>¡Error al cargar StdDispQt.dll!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>Load Diag.dll err!</source>
        <translation>¡Error al cargar Diag.dll!</translation>
    </message>
    <message>
        <location filename="../../diagnosis/DiagnosisController.cpp"/>
        <source>OK</source>
        <translation>Aceptar</translation>
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
        <translation>Inicia el diagnóstico de esta marca de vehículo</translation>
    </message>
</context>
</TS>
