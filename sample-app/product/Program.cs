// The sample product: a small Windows Forms window, or a quiet run for tests.
using System;
using System.Globalization;
using System.IO;
using System.Resources;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using System.Threading;
using System.Windows.Forms;

namespace Lumenix
{
    /// <summary>The entry that the standalone host looks for: public static int Lumenix.Program.Run(string[]).</summary>
    public static class Program
    {
        /// <summary>Exit code of a headless run unless LUMENIX_EXIT_CODE names another.</summary>
        public const int HeadlessExitCode = 42;

        public const string HeadlessVariable = "LUMENIX_HEADLESS";
        public const string ExitCodeVariable = "LUMENIX_EXIT_CODE";
        public const string HeadlessArgument = "--headless";

        // For tests that follow the product through a real runtime: the text of an exception to throw from Run,
        // a file that a headless run writes its report to, and a call into the native library of the pack.
        public const string ThrowVariable = "LUMENIX_THROW";
        public const string ReportVariable = "LUMENIX_REPORT";
        public const string NativeVariable = "LUMENIX_NATIVE";

        // The product as it ships with sub-folders: the UI culture to run in (its texts come from the satellite
        // of that culture), and a report of what it loads from its sub-folders.
        public const string UiCultureVariable = "LUMENIX_UI_CULTURE";
        public const string SubfoldersVariable = "LUMENIX_SUBFOLDERS";

        // Below the application base, where the product keeps them.
        public const string NativeLibraryPath = @"runtimes\win-x64\native\lxnative.dll";
        public const string DeepDataPath = @"data\maps\europe\tiles\index.txt";
        public const string OverviewPath = "data\\\u00DCbersicht\\Stra\u00DFe.txt";

        public static int Run(string[] args)
        {
            string culture = Environment.GetEnvironmentVariable(UiCultureVariable);
            if (!string.IsNullOrEmpty(culture))
                Thread.CurrentThread.CurrentUICulture = new CultureInfo(culture);
            string failure = Environment.GetEnvironmentVariable(ThrowVariable);
            if (!string.IsNullOrEmpty(failure))
                throw new InvalidOperationException(failure);
            if (IsHeadless(args))
            {
                Console.WriteLine("Lumenix by Corvane: headless run");
                WriteReport();
                return ExitCode(HeadlessExitCode);
            }
            return ExitCode(ShowMainWindow());
        }

        /// <summary>The product's texts, in the current UI culture: the runtime finds the satellite of that
        /// culture below the application base.</summary>
        public static string Text(string name)
        {
            return new ResourceManager("Lumenix.Strings", typeof(Program).Assembly).GetString(name);
        }

        // The domain the product runs in and, when asked for, the answer of its native library, its text in
        // the UI culture it runs in and what it loads from its sub-folders, one "name: value" line each.
        static void WriteReport()
        {
            string path = Environment.GetEnvironmentVariable(ReportVariable);
            if (string.IsNullOrEmpty(path))
                return;
            AppDomain domain = AppDomain.CurrentDomain;
            string report = "domain: " + domain.FriendlyName + "\n" + "base: " + domain.BaseDirectory + "\n";
            if (!string.IsNullOrEmpty(Environment.GetEnvironmentVariable(NativeVariable)))
                report += "native: " + NativeAnswer().ToString(CultureInfo.InvariantCulture) + "\n";
            if (!string.IsNullOrEmpty(Environment.GetEnvironmentVariable(UiCultureVariable)))
                report += "greeting: " + Text("Greeting") + "\n";
            if (!string.IsNullOrEmpty(Environment.GetEnvironmentVariable(SubfoldersVariable)))
                report += SubfolderReport(domain.BaseDirectory);
            File.WriteAllText(path, report);
        }

        // Each line tells its own failure, so that one missing piece does not hide the others.
        static string SubfolderReport(string baseFolder)
        {
            string report = "";
            try
            {
                report += "native by path: " +
                    NativeAnswerByPath(Path.Combine(baseFolder, NativeLibraryPath)).ToString(CultureInfo.InvariantCulture) + "\n";
            }
            catch (Exception e)
            {
                report += "native by path: " + e.GetType().Name + ": " + e.Message + "\n";
            }
            report += "deep: " + FileText(Path.Combine(baseFolder, DeepDataPath)) + "\n";
            report += "overview: " + FileText(Path.Combine(baseFolder, OverviewPath)) + "\n";
            return report;
        }

        static string FileText(string path)
        {
            try
            {
                return File.ReadAllText(path).Trim();
            }
            catch (Exception e)
            {
                return e.GetType().Name + ": " + e.Message;
            }
        }

        // As a product loads a native library of its own layout: by its full path, its dependencies from its
        // own folder, then from the process's default folders.
        static int NativeAnswerByPath(string path)
        {
            IntPtr module = NativeMethods.LoadLibraryExW(path, IntPtr.Zero,
                NativeMethods.LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | NativeMethods.LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
            if (module == IntPtr.Zero && Marshal.GetLastWin32Error() == NativeMethods.ERROR_INVALID_PARAMETER)
            {
                // A system without the search flags (Windows 7 before KB2533623): the altered search order.
                module = NativeMethods.LoadLibraryExW(path, IntPtr.Zero, NativeMethods.LOAD_WITH_ALTERED_SEARCH_PATH);
            }
            if (module == IntPtr.Zero)
                throw new System.ComponentModel.Win32Exception(Marshal.GetLastWin32Error(), "LoadLibraryEx " + path);
            IntPtr answer = NativeMethods.GetProcAddress(module, "LxNativeAnswer");
            if (answer == IntPtr.Zero)
                throw new System.ComponentModel.Win32Exception(Marshal.GetLastWin32Error(), "GetProcAddress LxNativeAnswer");
            var function = (AnswerFunction)Marshal.GetDelegateForFunctionPointer(answer, typeof(AnswerFunction));
            return function();
        }

        [UnmanagedFunctionPointer(CallingConvention.StdCall)]
        delegate int AnswerFunction();

        // lxnative.dll travels in the pack of the tests' native-library build, beside the assemblies.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static int NativeAnswer()
        {
            return NativeMethods.LxNativeAnswer();
        }

        static class NativeMethods
        {
            [DllImport("lxnative.dll")]
            public static extern int LxNativeAnswer();

            public const uint LOAD_WITH_ALTERED_SEARCH_PATH = 0x00000008;
            public const uint LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR = 0x00000100;
            public const uint LOAD_LIBRARY_SEARCH_DEFAULT_DIRS = 0x00001000;
            public const int ERROR_INVALID_PARAMETER = 87;

            [DllImport("kernel32.dll", CharSet = CharSet.Unicode, SetLastError = true)]
            public static extern IntPtr LoadLibraryExW(string fileName, IntPtr file, uint flags);

            [DllImport("kernel32.dll", CharSet = CharSet.Ansi, SetLastError = true, BestFitMapping = false)]
            public static extern IntPtr GetProcAddress(IntPtr module, string procName);
        }

        static bool IsHeadless(string[] args)
        {
            string value = Environment.GetEnvironmentVariable(HeadlessVariable);
            if (!string.IsNullOrEmpty(value) && value != "0")
                return true;
            foreach (string arg in args ?? new string[0])
            {
                if (string.Equals(arg, HeadlessArgument, StringComparison.OrdinalIgnoreCase))
                    return true;
            }
            return false;
        }

        // LUMENIX_EXIT_CODE overrides the result, so that a test can follow a value through the launcher.
        static int ExitCode(int normal)
        {
            string value = Environment.GetEnvironmentVariable(ExitCodeVariable);
            int code;
            if (!string.IsNullOrEmpty(value) &&
                int.TryParse(value, NumberStyles.Integer, CultureInfo.InvariantCulture, out code))
                return code;
            return normal;
        }

        // Kept apart so that a headless run never touches Windows Forms.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static int ShowMainWindow()
        {
            Application.EnableVisualStyles();
            Application.SetCompatibleTextRenderingDefault(false);
            using (var form = new MainForm())
                Application.Run(form);
            return 0;
        }
    }
}
