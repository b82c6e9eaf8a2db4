// NativeMethods.cs - the exports of ZUKcntrl.h as P/Invoke declarations, and the loading of the
// library of the process's bitness.
//
// DllImport names "ZUKcntrl": Windows finds ZUKcntrl.dll (the one NativeLoader loaded first, when
// it found one), Mono on Linux finds libZUKcntrl.so (the library's native test build) on the
// library path or through a <dllmap> in Korva.Zuk.dll.config.  StdCall is the exports' convention
// on 32-bit Windows and is ignored where there is only one.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Korva.Zuk
{
    // The host's request record of the account calls: seven fields, the two buffer pointers of the
    // process's pointer size, the others 32-bit.
    [StructLayout(LayoutKind.Sequential)]
    internal struct AccountRequest
    {
        public uint Version;
        public IntPtr AccountBuffer;
        public int AccountLength;
        public IntPtr PasswordBuffer;
        public int PasswordLength;
        public int Reserved1;
        public int Reserved2;
    }

    internal static class NativeMethods
    {
        const string Dll = "ZUKcntrl";
        const CallingConvention Cc = CallingConvention.StdCall;
        internal const uint AccountRequestVersion = 0x10000;

        static NativeMethods()
        {
            NativeLoader.Load();
        }

        // Runs the static constructor (the loader) before the first call.
        internal static void EnsureLoaded() { }

        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKOpen(out int handle);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKClose(int handle);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKSenseCard(int handle, out int present);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKVerifyPIN(int handle, int pinLength, byte[] pin);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetUserName(int handle, byte[] buffer, ref int length);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetUserOption(int handle, byte[] buffer, ref int length);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetAdminOption(int handle, byte[] buffer, ref int length);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetMaxLength(out int maxIdLength, out int maxPasswordLength);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetLibMode(out int mode, int reserved);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetLibVersion(out int version);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetUserAccount(int handle, ref AccountRequest request, int mode, IntPtr window);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKGetPinTries(int handle, out int triesLeft, out int tryLimit);
        [DllImport(Dll, CallingConvention = Cc)]
        internal static extern int ZUKGetUserAccountWithPin(int handle, ref AccountRequest request, int mode, byte[] pin,
                                                            int pinLength, out int triesLeft);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKWaitForCard(int handle, int wantPresent, int timeoutMs, out int present);
        [DllImport(Dll, CallingConvention = Cc)] internal static extern int ZUKCancel();
    }

    // Loads the ZUKcntrl.dll of the process's bitness on Windows before the first call, so that an
    // AnyCPU host runs with the 64-bit library in a 64-bit process and the 32-bit one in a 32-bit
    // process.  The DllImport calls then bind to the module already loaded.  Elsewhere (Mono on
    // Linux) it does nothing: the runtime's own search finds the library.
    public static class NativeLoader
    {
        // The folders tried, in order: the host's own x64 or x86 subfolder (a host that ships both
        // libraries beside it), then the InstallPath of the library installed for this bitness (the
        // process reads its own registry view: the 32-bit view in a 32-bit process).
        public static string[] CandidatePaths(string hostFolder, bool is64BitProcess, string installPath)
        {
            string bitness = is64BitProcess ? "x64" : "x86";
            var paths = new System.Collections.Generic.List<string>();
            if (!string.IsNullOrEmpty(hostFolder)) paths.Add(Path.Combine(hostFolder, bitness, "ZUKcntrl.dll"));
            if (!string.IsNullOrEmpty(installPath)) paths.Add(Path.Combine(installPath, "ZUKcntrl.dll"));
            return paths.ToArray();
        }

        // The path of the library loaded by Load (null: none loaded here, the runtime's search applies).
        public static string LoadedFrom { get; private set; }

        static bool loaded;

        internal static void Load()
        {
            if (loaded) return;
            loaded = true;
            if (Environment.OSVersion.Platform != PlatformID.Win32NT) return;
            foreach (string path in CandidatePaths(AppDomain.CurrentDomain.BaseDirectory,
                                                   Environment.Is64BitProcess, InstallPath()))
            {
                // LOAD_WITH_ALTERED_SEARCH_PATH: the library's own folder comes first for what it loads.
                if (File.Exists(path) && LoadLibraryEx(path, IntPtr.Zero, 0x8) != IntPtr.Zero)
                {
                    LoadedFrom = path;
                    return;
                }
            }
        }

        static string InstallPath()
        {
            try
            {
                using (var key = Microsoft.Win32.Registry.LocalMachine.OpenSubKey(@"SOFTWARE\KORVA\ZUKLib"))
                {
                    return key == null ? null : key.GetValue("InstallPath") as string;
                }
            }
            catch (Exception)
            {
                return null;  // no registry access: the runtime's search applies
            }
        }

        [DllImport("kernel32", CharSet = CharSet.Unicode, SetLastError = true)]
        static extern IntPtr LoadLibraryEx(string path, IntPtr reserved, uint flags);
    }
}
