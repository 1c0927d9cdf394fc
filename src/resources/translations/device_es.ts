<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>DeviceController</name>
    <message>
        <location filename="../../device/DeviceController.cpp" line="+77"/>
        <source>System initializing. If device not recognized,
        connect to 12V power and retry.</source>
        <translation>Inicializando el sistema. Si no se reconoce el dispositivo,
        conecte la alimentación de 12V y vuelva a intentarlo.</translation>
    </message>
    <message>
        <location line="+156"/>
        <source>Connect 12V power supply</source>
        <translation>Conecte la fuente de alimentación de 12V</translation>
    </message>
    <message>
        <location line="+55"/>
        <source>Execution failed</source>
        <translation>Error de ejecución</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Rebooting,please wait...</source>
        <translation>Reiniciando, espere por favor...</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+3"/>
        <source>Execute successfully</source>
        <translation>Ejecutado correctamente</translation>
    </message>
    <message>
        <location line="+68"/>
        <source>Please select a valid row</source>
        <translation>Seleccione una fila válida</translation>
    </message>
</context>
<context>
    <name>DevicePage</name>
    <message>
        <location filename="../../device/DevicePage.cpp" line="+20"/>
        <location line="+42"/>
        <source>None</source>
        <translation>Ninguno</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Recovery</source>
        <translation>Recuperación</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Idle</source>
        <translation>Inactivo</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Occupied</source>
        <translation>Ocupado</translation>
    </message>
</context>
<context>
    <name>DevicePageClass</name>
    <message>
        <location filename="../../device/DevicePage.ui" line="+38"/>
        <source>Serial number:</source>
        <translation>Número de serie:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Software version:</source>
        <translation>Versión de software:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Firmware version:</source>
        <translation>Versión de firmware:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Driver version:</source>
        <translation>Versión del controlador:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Connection:</source>
        <translation>Conexión:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Voltage:</source>
        <translation>Tensión:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Device status:</source>
        <translation>Estado del dispositivo:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Hardware ID:</source>
        <translation>ID de hardware:</translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Reboot</source>
        <translation>Reiniciar</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Buzzer test</source>
        <translation>Prueba del zumbador</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Release occupation</source>
        <translation>Liberar ocupación</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Wi-Fi setup</source>
        <translation>Configurar Wi-Fi</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Firmware update</source>
        <translation>Actualización de firmware</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>More devices</source>
        <translation>Más dispositivos</translation>
    </message>
</context>
<context>
    <name>MoreVciPageClass</name>
    <message>
        <location filename="../../device/MoreVciPage.ui" line="+14"/>
        <source>Devices on the network</source>
        <translation>Dispositivos en la red</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Refresh</source>
        <translation>Actualizar</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Select</source>
        <translation>Seleccionar</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Volver</translation>
    </message>
</context>
<context>
    <name>VCIItem</name>
    <message>
        <location filename="../../device/VCIItem.cpp" line="+24"/>
        <source>Disconnect</source>
        <translation>Desconectar</translation>
    </message>
</context>
<context>
    <name>LinkDiagnosis</name>
    <message>
        <source>The Brindlewick background service is not running. Restart the manager; if this stays, reinstall it.</source>
        <translation>El servicio en segundo plano de Brindlewick no está en marcha. Reinicie el programa; si sigue así, vuelva a instalarlo.</translation>
    </message>
    <message>
        <source>The background service runs but reports no adapter status. Restart the manager so the service starts again.</source>
        <translation>El servicio en segundo plano funciona pero no informa del estado del adaptador. Reinicie el programa para que el servicio arranque de nuevo.</translation>
    </message>
    <message>
        <source>The computer does not see the adapter on USB. Check the USB cable, try another port and make sure the adapter has 12 V power.</source>
        <translation>El equipo no detecta el adaptador por USB. Revise el cable USB, pruebe otro puerto y compruebe que el adaptador tiene alimentación de 12 V.</translation>
    </message>
    <message>
        <source>The adapter&apos;s USB network link is missing. Unplug the USB cable, wait five seconds and plug it in again.</source>
        <translation>Falta el enlace de red USB del adaptador. Desconecte el cable USB, espere cinco segundos y vuelva a conectarlo.</translation>
    </message>
    <message>
        <source>The adapter&apos;s network link is up but the adapter does not answer. Wait a minute for it to start, or restart it by removing its power.</source>
        <translation>El enlace de red del adaptador está activo pero el adaptador no responde. Espere un minuto a que arranque o reinícielo quitándole la alimentación.</translation>
    </message>
    <message>
        <source>The driver of the adapter&apos;s USB network link is not installed. Reinstall the manager to install it.</source>
        <translation>El controlador del enlace de red USB del adaptador no está instalado. Vuelva a instalar el programa para instalarlo.</translation>
    </message>
    <message>
        <source>Every link answers: the adapter should appear within a few seconds.</source>
        <translation>Todos los enlaces responden: el adaptador debería aparecer en unos segundos.</translation>
    </message>
</context>
<context>
    <name>LinkDiagnosisLabel</name>
    <message>
        <source>Checking the links to the adapter...</source>
        <translation>Comprobando los enlaces con el adaptador...</translation>
    </message>
    <message>
        <source>No adapter found. Why?</source>
        <translation>No se encuentra el adaptador. ¿Por qué?</translation>
    </message>
    <message>
        <source>Why is no adapter found?</source>
        <translation>¿Por qué no se encuentra el adaptador?</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
</context>
</TS>
