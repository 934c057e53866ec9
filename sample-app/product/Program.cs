// The sample product: a small Windows Forms window, or a quiet run for tests.
using System;
using System.Globalization;
using System.IO;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
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

        public static int Run(string[] args)
        {
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

        // The domain the product runs in and, when asked for, the answer of its native library, one
        // "name: value" line each.
        static void WriteReport()
        {
            string path = Environment.GetEnvironmentVariable(ReportVariable);
            if (string.IsNullOrEmpty(path))
                return;
            AppDomain domain = AppDomain.CurrentDomain;
            string report = "domain: " + domain.FriendlyName + "\n" + "base: " + domain.BaseDirectory + "\n";
            if (!string.IsNullOrEmpty(Environment.GetEnvironmentVariable(NativeVariable)))
                report += "native: " + NativeAnswer().ToString(CultureInfo.InvariantCulture) + "\n";
            File.WriteAllText(path, report);
        }

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
