// Checks the managed entry contract of the sample application the way the launcher uses it: a domain named
// "Entryway" whose application base is the sample's output folder, the core assembly loaded there by name,
// the host type found by reflection, and RunApplicationInAssembly run with the product name and splash 0.
//
//   mono EntryContractTest.exe SAMPLE_FOLDER
using System;
using System.Collections.Generic;
using System.IO;
using System.Reflection;

static class EntryContractTest
{
    const string DomainName = "Entryway";
    const string CoreAssembly = "Corvane.Platform.Tessarine.UI.Standalone";
    const string HostType = "Corvane.UI.Standalone.Host.KestStandaloneApplicationHost";
    const string EntryMethod = "RunApplicationInAssembly";
    const string ProductName = "Lumenix";
    const int HeadlessExitCode = 42;

    static readonly List<string> failures = new List<string>();

    static int Main(string[] args)
    {
        if (AppDomain.CurrentDomain.FriendlyName != DomainName)
        {
            if (args.Length != 1 || !Directory.Exists(args[0]))
            {
                Console.Error.WriteLine("usage: EntryContractTest.exe SAMPLE_FOLDER");
                return 2;
            }
            // Run this same program again inside a domain over the sample folder, as the launcher would.
            var setup = new AppDomainSetup
            {
                ApplicationBase = Path.GetFullPath(args[0]),
                ApplicationName = ProductName,
            };
            AppDomain domain = AppDomain.CreateDomain(DomainName, null, setup);
            return domain.ExecuteAssembly(typeof(EntryContractTest).Assembly.Location, args);
        }

        Console.WriteLine("application base: " + AppDomain.CurrentDomain.BaseDirectory);
        CheckEntryContract();
        CheckProductAssembly();
        CheckHeadlessRun();
        CheckMissingProduct();

        foreach (string failure in failures)
            Console.Error.WriteLine("FAILED: " + failure);
        Console.WriteLine(failures.Count == 0 ? "entry contract: all checks passed"
                                              : "entry contract: " + failures.Count + " check(s) failed");
        return failures.Count == 0 ? 0 : 1;
    }

    static void Expect(bool condition, string what)
    {
        Console.WriteLine((condition ? "ok    " : "FAIL  ") + what);
        if (!condition)
            failures.Add(what);
    }

    static MethodInfo FindEntry()
    {
        Assembly core = Assembly.Load(CoreAssembly);
        Type host = core.GetType(HostType, false);
        return host == null ? null : host.GetMethod(EntryMethod, BindingFlags.Public | BindingFlags.Static);
    }

    static void CheckEntryContract()
    {
        Assembly core = Assembly.Load(CoreAssembly);
        Expect(core.GetName().Name == CoreAssembly, "core assembly loads by its display name " + CoreAssembly);
        Expect(string.Equals(Path.GetDirectoryName(core.Location),
                             AppDomain.CurrentDomain.BaseDirectory.TrimEnd(Path.DirectorySeparatorChar),
                             StringComparison.Ordinal),
               "core assembly comes from the application base");
        CheckFramework(core);

        Type host = core.GetType(HostType, false);
        Expect(host != null, "host type " + HostType + " exists");
        if (host == null)
            return;
        Expect(host.IsPublic, "host type is public");

        MethodInfo entry = host.GetMethod(EntryMethod, BindingFlags.Public | BindingFlags.Static);
        Expect(entry != null, EntryMethod + " is a public static method");
        if (entry == null)
            return;
        ParameterInfo[] parameters = entry.GetParameters();
        Expect(parameters.Length == 2, EntryMethod + " takes two parameters");
        if (parameters.Length == 2)
        {
            Expect(parameters[0].ParameterType.FullName == "System.String", "first parameter is System.String");
            Expect(parameters[1].ParameterType.FullName == "System.UInt64", "second parameter is System.UInt64");
        }
        Expect(entry.ReturnType.FullName == "System.Int32", "return type is System.Int32");

        // The launcher calls with Static | Public | InvokeMethod (280) and a string and an unsigned 64-bit value.
        MethodBase bound = host.GetMethod(EntryMethod, (BindingFlags)280, null,
                                          new[] { typeof(string), typeof(ulong) }, null);
        Expect(bound != null, EntryMethod + " binds with the launcher's binding flags and argument types");
    }

    static void CheckProductAssembly()
    {
        string path = Path.Combine(AppDomain.CurrentDomain.BaseDirectory, ProductName + ".dll");
        Expect(File.Exists(path), ProductName + ".dll lies in the application base");
        if (!File.Exists(path))
            return;
        Assembly product = Assembly.LoadFrom(path);
        Expect(product.GetName().Name == ProductName, "product assembly is named " + ProductName);
        CheckFramework(product);
        var company = (AssemblyCompanyAttribute)Attribute.GetCustomAttribute(product, typeof(AssemblyCompanyAttribute));
        Expect(company != null && company.Company == "Corvane", "product company is Corvane");

        Type program = product.GetType(ProductName + ".Program", false);
        Expect(program != null && program.IsPublic, "public type " + ProductName + ".Program exists");
        if (program == null)
            return;
        MethodInfo run = program.GetMethod("Run", BindingFlags.Public | BindingFlags.Static, null,
                                           new[] { typeof(string[]) }, null);
        Expect(run != null && run.ReturnType == typeof(int), "public static int Run(string[]) exists");
    }

    // .NET Framework 4 assemblies that run in the launcher's 64-bit process.
    static void CheckFramework(Assembly assembly)
    {
        string name = assembly.GetName().Name;
        Expect(assembly.ImageRuntimeVersion == "v4.0.30319", name + " targets runtime v4.0.30319");
        PortableExecutableKinds kinds;
        ImageFileMachine machine;
        assembly.ManifestModule.GetPEKind(out kinds, out machine);
        Expect((kinds & PortableExecutableKinds.ILOnly) != 0 && (kinds & PortableExecutableKinds.Required32Bit) == 0,
               name + " is IL only and not limited to 32 bits");
        foreach (AssemblyName reference in assembly.GetReferencedAssemblies())
        {
            if (reference.Name == "mscorlib")
                Expect(reference.Version.Major == 4, name + " references mscorlib 4.0");
        }
    }

    static void CheckHeadlessRun()
    {
        MethodInfo entry = FindEntry();
        if (entry == null)
            return;
        Environment.SetEnvironmentVariable("LUMENIX_HEADLESS", "1");
        Environment.SetEnvironmentVariable("LUMENIX_EXIT_CODE", null);
        int code = (int)entry.Invoke(null, new object[] { ProductName, 0UL });
        Expect(code == HeadlessExitCode, "headless run of " + ProductName + " returns " + HeadlessExitCode +
                                         " (got " + code + ")");

        Environment.SetEnvironmentVariable("LUMENIX_EXIT_CODE", "-7");
        code = (int)entry.Invoke(null, new object[] { ProductName, 0UL });
        Expect(code == -7, "LUMENIX_EXIT_CODE=-7 comes back as -7 (got " + code + ")");
        Environment.SetEnvironmentVariable("LUMENIX_EXIT_CODE", null);
    }

    static void CheckMissingProduct()
    {
        MethodInfo entry = FindEntry();
        if (entry == null)
            return;
        int code = (int)entry.Invoke(null, new object[] { "NoSuchProduct", 0UL });
        Expect(code == unchecked((int)0x80070002), "a missing product assembly answers 0x80070002 (got 0x" +
                                                   code.ToString("X8") + ")");
        code = (int)entry.Invoke(null, new object[] { "..\\Lumenix", 0UL });
        Expect(code == unchecked((int)0x80070057), "a product name with a path answers 0x80070057 (got 0x" +
                                                   code.ToString("X8") + ")");
        // The core assembly exists but has no Corvane.Platform.Tessarine.UI.Standalone.Program and no entry point.
        code = (int)entry.Invoke(null, new object[] { CoreAssembly, 0UL });
        Expect(code == unchecked((int)0x80131513), "an assembly without an entry answers 0x80131513 (got 0x" +
                                                   code.ToString("X8") + ")");
    }
}
