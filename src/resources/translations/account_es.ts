<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>AccountController</name>
    <message>
        <location filename="../../account/AccountController.cpp" line="+588"/>
        <source>Loading technicians...</source>
        <translation>Cargando técnicos...</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Your session has ended. Please sign in again.</source>
        <translation>Su sesión ha terminado. Inicie sesión de nuevo.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No technicians are listed.</source>
        <translation>No hay técnicos en la lista.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>No technician matches the search.</source>
        <translation>Ningún técnico coincide con la búsqueda.</translation>
    </message>
</context>
<context>
    <name>AccountTexts</name>
    <message>
        <location filename="../../account/AccountFlows.cpp" line="+53"/>
        <source>Mobile number format error!</source>
        <translation>¡Formato de número de móvil incorrecto!</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+28"/>
        <location line="+46"/>
        <source>Failed to get code!</source>
        <translation>¡No se pudo obtener el código!</translation>
    </message>
    <message>
        <location line="-67"/>
        <source>The mobile phone number or verification code is empty</source>
        <translation>El número de móvil o el código de verificación está vacío</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Login failed, please make sure the verification code is correct</source>
        <translation>No se pudo iniciar sesión; compruebe que el código de verificación es correcto</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Email Error!</source>
        <translation>¡Correo electrónico no válido!</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Email has been registered!</source>
        <translation>¡Este correo ya está registrado!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Email does not exist!</source>
        <translation>¡El correo electrónico no existe!</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The email address cannot be empty</source>
        <translation>El correo electrónico no puede estar vacío</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+46"/>
        <location line="+30"/>
        <source>The verification code cannot be empty</source>
        <translation>El código de verificación no puede estar vacío</translation>
    </message>
    <message>
        <location line="-74"/>
        <location line="+46"/>
        <location line="+30"/>
        <source>The password must be at least 6 characters long!</source>
        <translation>¡La contraseña debe tener al menos 6 caracteres!</translation>
    </message>
    <message>
        <location line="-73"/>
        <source>Successful Registration</source>
        <translation>Registro completado</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+46"/>
        <location line="+30"/>
        <source>Network Connection Down!</source>
        <translation>¡Sin conexión de red!</translation>
    </message>
    <message>
        <location line="-74"/>
        <source>Registration Failed!</source>
        <translation>¡El registro ha fallado!</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>The email cannot be empty!</source>
        <translation>¡El correo electrónico no puede estar vacío!</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Login failure, email or password is incorrect!</source>
        <translation>¡No se pudo iniciar sesión: correo o contraseña incorrectos!</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The email address cannot be empty!</source>
        <translation>¡El correo electrónico no puede estar vacío!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Email address error!</source>
        <translation>¡Dirección de correo incorrecta!</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>This email is not registered!</source>
        <translation>¡Este correo no está registrado!</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The mailbox cannot be empty</source>
        <translation>El buzón no puede estar vacío</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Reset Password Succeeded</source>
        <translation>Contraseña restablecida</translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+30"/>
        <source>Invalid verification code or verification code expired!</source>
        <translation>¡Código de verificación incorrecto o caducado!</translation>
    </message>
    <message>
        <location line="-16"/>
        <source>Failed to get code!re-enter this interface</source>
        <translation>¡No se pudo obtener el código! Vuelva a entrar en esta pantalla</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>modify Password Succeeded,Please log in again</source>
        <translation>Contraseña cambiada. Inicie sesión de nuevo</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Verification code will be sent to your email address: </source>
        <translation>Se enviará un código de verificación a su correo: </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Name is empty, please re-enter</source>
        <translation>El nombre está vacío; introdúzcalo de nuevo</translation>
    </message>
    <message>
        <location filename="../../account/AdapterRegistration.cpp" line="+12"/>
        <source>Adapter %1: registered %2, warranty until %3, service level %4</source>
        <translation>Adaptador %1: registrado el %2, garantía hasta %3, nivel de servicio %4</translation>
    </message>
    <message>
        <location filename="../../account/AccountController.cpp" line="-338"/>
        <source>Login Success</source>
        <translation>Sesión iniciada</translation>
    </message>
    <message>
        <source>Too many failed sign-ins. Please try again later.</source>
        <translation>Demasiados inicios de sesión fallidos. Inténtelo de nuevo más tarde.</translation>
    </message>
    <message>
        <source>Too many codes requested. Please try again later.</source>
        <translation>Se han pedido demasiados códigos. Inténtelo de nuevo más tarde.</translation>
    </message>
</context>
<context>
    <name>ChangePasswordPage</name>
    <message>
        <location filename="../../account/AccountPages.cpp" line="+365"/>
        <source>Change password</source>
        <translation>Cambiar contraseña</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code</source>
        <translation>Código de verificación</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>New password (at least 6 characters)</source>
        <translation>Nueva contraseña (al menos 6 caracteres)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Volver</translation>
    </message>
</context>
<context>
    <name>CodeFormPage</name>
    <message>
        <location line="-120"/>
        <source>S</source>
        <translation> s</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Get verification code</source>
        <translation>Obtener código</translation>
    </message>
</context>
<context>
    <name>EmailCentrePage</name>
    <message>
        <location line="+72"/>
        <source>User centre</source>
        <translation>Centro de usuario</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Change nickname</source>
        <translation>Cambiar apodo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Change password</source>
        <translation>Cambiar contraseña</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign out</source>
        <translation>Cerrar sesión</translation>
    </message>
</context>
<context>
    <name>EmailSignInPage</name>
    <message>
        <location line="+88"/>
        <location line="+5"/>
        <source>Sign in</source>
        <translation>Iniciar sesión</translation>
    </message>
    <message>
        <location line="-4"/>
        <source>E-mail address</source>
        <translation>Correo electrónico</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Remember password</source>
        <translation>Recordar contraseña</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign in automatically</source>
        <translation>Iniciar sesión automáticamente</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Create an account</source>
        <translation>Crear una cuenta</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Forgot your password?</source>
        <translation>¿Olvidó su contraseña?</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Volver</translation>
    </message>
</context>
<context>
    <name>NicknamePage</name>
    <message>
        <location line="-214"/>
        <source>Change nickname</source>
        <translation>Cambiar apodo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter a nickname</source>
        <translation>Introduzca un apodo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Volver</translation>
    </message>
</context>
<context>
    <name>PhoneCentrePage</name>
    <message>
        <location line="-28"/>
        <source>User centre</source>
        <translation>Centro de usuario</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign out</source>
        <translation>Cerrar sesión</translation>
    </message>
    <message>
        <source>Change nickname</source>
        <translation>Cambiar apodo</translation>
    </message>
</context>
<context>
    <name>PhoneSignInPage</name>
    <message>
        <location line="-39"/>
        <source>Sign in with your phone</source>
        <translation>Iniciar sesión con el teléfono</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter phone number</source>
        <translation>Introduzca el número de teléfono</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter dynamic password</source>
        <translation>Contraseña dinámica</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+11"/>
        <source>Get verification code</source>
        <translation>Obtener código</translation>
    </message>
    <message>
        <location line="-10"/>
        <source>Sign in</source>
        <translation>Iniciar sesión</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>S</source>
        <translation> s</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Volver</translation>
    </message>
</context>
<context>
    <name>RegisterPage</name>
    <message>
        <location line="+112"/>
        <source>Create an account</source>
        <translation>Crear una cuenta</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E-mail address</source>
        <translation>Correo electrónico</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code</source>
        <translation>Código de verificación</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Password (at least 6 characters)</source>
        <translation>Contraseña (al menos 6 caracteres)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Get verification code</source>
        <translation>Obtener código</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Register</source>
        <translation>Registrarse</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back to sign in</source>
        <translation>&lt; Volver a iniciar sesión</translation>
    </message>
</context>
<context>
    <name>ResetPasswordPage</name>
    <message>
        <location line="+13"/>
        <source>Reset your password</source>
        <translation>Restablecer la contraseña</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E-mail address</source>
        <translation>Correo electrónico</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code</source>
        <translation>Código de verificación</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>New password (at least 6 characters)</source>
        <translation>Nueva contraseña (al menos 6 caracteres)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Get verification code</source>
        <translation>Obtener código</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reset password</source>
        <translation>Restablecer contraseña</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back to sign in</source>
        <translation>&lt; Volver a iniciar sesión</translation>
    </message>
</context>
<context>
    <name>ServiceVendorPage</name>
    <message>
        <location filename="../../account/ServiceVendor.cpp" line="+151"/>
        <source>Remote technicians</source>
        <translation>Técnicos remotos</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Phone, name or address</source>
        <translation>Teléfono, nombre o dirección</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Search</source>
        <translation>Buscar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Volver</translation>
    </message>
</context>
</TS>
